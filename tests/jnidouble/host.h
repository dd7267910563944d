// The model of the host's objects that the natives touch: the crawler, nodes,
// a scripted connection, elements, UpdParent, and the few platform classes
// (File on the real disk, streams, readers, String, StringBuffer, List, URL,
// Date, TimeZone, SimpleDateFormat).
#ifndef X7_JNIDOUBLE_HOST_H
#define X7_JNIDOUBLE_HOST_H

#include <string>

#include "jnidouble.h"

namespace jd {

struct Host {
  explicit Host(Vm& vm);

  Vm& vm;
  Native jiplok{"UrlLoad", "jiplok", 20, 'V'};
  Native chiap{"UrlLoad", "chiap", 20, 'I'};
  Native lokboi{"UrlLoad", "lokboi", 16, 'V'};
  Native setRequestProperties{"UrlLoad", "setRequestProperties", 20, 'V'};
  Native fmtGMT{"UrlLoad", "fmtGMT", 8, 'L'};
  Native pHTML{"UrlLoad", "pHTML", 12, 'V'};
  Native chuekia{"UrlLoad", "chuekia", 16, 'V'};
  Native doOneTag{"x7Element", "doOneTag", 12, 'I'};
  Native repAttrib{"UpdParent", "repAttrib", 16, 'V'};
  Native* native(const std::string& method);

  // Objects as the host makes them.
  Object* str(const std::string& s);
  Object* pathStr(const std::string& platformPath);
  Object* url(const std::string& spec);  // the scenario's own URLs are valid
  Object* file(const std::string& path);
  Object* list();
  Object* crawler();
  Object* node(int level, int parentIndex, Object* url, Object* linkText);
  Object* element(const std::string& tagText);
  Object* reader(const std::string& text);
  Object* stream(const std::string& body);  // the body of a connection
  Object* connection(Object* url, Object* in);
  Object* updParent(Object* parentNode);

  // State that the scenarios set and read.
  static Value& state(Object* o, const std::string& key) { return o->fields["." + key]; }
  static Value& field(Object* o, const std::string& name) { return o->fields[name]; }
  std::string stringField(Object* o, const std::string& name);
  std::string urlText(Object* url) { return url->text; }

  // A platform path from a '/' path: the separator of this platform.
  std::string platform(const std::string& slashPath) const;
};

// java.net.URL's parsing and resolution, as far as the scenarios need it.
// False with a message for a text that is no URL.
bool parseUrl(const std::string& spec, std::string& out, std::string& error);
bool resolveUrl(const std::string& base, const std::string& spec, std::string& out, std::string& error);
std::string httpDate(std::int64_t ms, int offsetMinutes);

}  // namespace jd

#endif
