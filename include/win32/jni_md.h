/* Machine-dependent JNI types for 32-bit Windows, used when cross-compiling
 * with MinGW-w64: the JDK on the build machine ships only its own platform's
 * header. Natives are __stdcall and exported, as the Windows JVM expects. */
#ifndef X7FENWIX_WIN32_JNI_MD_H
#define X7FENWIX_WIN32_JNI_MD_H

/* The library's own build defines JNIEXPORT empty: its module-definition
 * file then names every export exactly, decorated, and nothing else. */
#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
