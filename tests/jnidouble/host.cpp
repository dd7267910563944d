#include "host.h"

#include <cctype>
#include <cstring>

#include "disk.h"

namespace jd {

// ---- URLs ----------------------------------------------------------------

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// java.net.URL trims what is at most a blank from both ends.
std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

bool splitScheme(const std::string& s, std::string& scheme, std::string& rest) {
  if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  std::size_t i = 1;
  while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' || s[i] == '-' || s[i] == '.')) ++i;
  if (i >= s.size() || s[i] != ':') return false;
  scheme = lower(s.substr(0, i));
  rest = s.substr(i + 1);
  return true;
}

struct UrlParts {
  std::string scheme, authority, path, query, ref;
  bool hasAuthority = false, hasQuery = false, hasRef = false;
  std::string text() const {
    std::string out = scheme + ":";
    if (hasAuthority) out += "//" + authority;
    out += path;
    if (hasQuery) out += "?" + query;
    if (hasRef) out += "#" + ref;
    return out;
  }
};

// Splits what follows "scheme:".
void splitRest(std::string rest, UrlParts& u) {
  const auto hash = rest.find('#');
  if (hash != std::string::npos) {
    u.hasRef = true;
    u.ref = rest.substr(hash + 1);
    rest.resize(hash);
  }
  if (rest.compare(0, 2, "//") == 0) {
    const auto end = rest.find_first_of("/?", 2);
    u.hasAuthority = true;
    u.authority = rest.substr(2, end == std::string::npos ? std::string::npos : end - 2);
    rest = end == std::string::npos ? "" : rest.substr(end);
  }
  const auto q = rest.find('?');
  if (q != std::string::npos) {
    u.hasQuery = true;
    u.query = rest.substr(q + 1);
    rest.resize(q);
  }
  u.path = rest;
}

bool validAuthority(const std::string& authority, std::string& error) {
  const auto colon = authority.rfind(':');
  if (colon == std::string::npos || authority.find(']', colon) != std::string::npos) return true;
  for (std::size_t k = colon + 1; k < authority.size(); ++k) {
    if (!std::isdigit(static_cast<unsigned char>(authority[k]))) {
      error = "invalid port: " + authority.substr(colon + 1);
      return false;
    }
  }
  return true;
}

bool knownProtocol(const std::string& p) {
  return p == "http" || p == "https" || p == "ftp" || p == "file" || p == "jar";
}

// Dot segments of a merged relative path, removed as java.net.URL does: a
// "../" that has nothing left to climb stays.
std::string removeDots(std::string path) {
  std::size_t i;
  while ((i = path.find("/./")) != std::string::npos) path.erase(i, 2);
  i = 0;
  while ((i = path.find("/../", i)) != std::string::npos) {
    std::size_t limit;
    if (i > 0 && (limit = path.rfind('/', i - 1)) != std::string::npos && path.find("/../", limit) != 0) {
      path = path.substr(0, limit) + path.substr(i + 3);
      i = 0;
    } else {
      i += 3;
    }
  }
  while (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0) {
    i = path.find("/..");
    if (i == 0) break;
    const std::size_t limit = path.rfind('/', i - 1);
    if (limit == std::string::npos) break;
    path.resize(limit + 1);
  }
  if (path.compare(0, 2, "./") == 0 && path.size() > 2) path.erase(0, 2);
  if (path.size() >= 2 && path.compare(path.size() - 2, 2, "/.") == 0) path.pop_back();
  return path;
}

}  // namespace

bool parseUrl(const std::string& spec, std::string& out, std::string& error) {
  const std::string t = trim(spec);
  UrlParts u;
  std::string rest;
  if (!splitScheme(t, u.scheme, rest)) {
    error = "no protocol: " + spec;
    return false;
  }
  if (!knownProtocol(u.scheme)) {
    error = "unknown protocol: " + u.scheme;
    return false;
  }
  splitRest(rest, u);
  if (!validAuthority(u.authority, error)) return false;
  out = u.text();
  return true;
}

bool resolveUrl(const std::string& base, const std::string& spec, std::string& out, std::string& error) {
  UrlParts b;
  std::string baseRest;
  splitScheme(base, b.scheme, baseRest);
  splitRest(baseRest, b);

  std::string t = trim(spec);
  std::string scheme, rest;
  if (splitScheme(t, scheme, rest)) {
    if (scheme != b.scheme) return parseUrl(t, out, error);
    t = rest;  // the base's own protocol: relative to it
  }
  UrlParts s;
  splitRest(t, s);
  UrlParts u;
  u.scheme = b.scheme;
  u.hasRef = s.hasRef;
  u.ref = s.ref;
  if (s.hasAuthority) {
    u.hasAuthority = true;
    u.authority = s.authority;
    u.path = s.path;
    u.hasQuery = s.hasQuery;
    u.query = s.query;
  } else {
    u.hasAuthority = b.hasAuthority;
    u.authority = b.authority;
    u.hasQuery = s.hasQuery;
    u.query = s.query;
    if (!s.path.empty() && s.path[0] == '/') {
      u.path = s.path;
    } else if (!s.path.empty()) {
      const auto slash = b.path.rfind('/');
      const std::string dir = slash == std::string::npos ? (b.hasAuthority ? "/" : "") : b.path.substr(0, slash + 1);
      u.path = removeDots(dir + s.path);
    } else {
      u.path = b.path;
      if (!s.hasQuery) {
        u.hasQuery = b.hasQuery;
        u.query = b.query;
      }
    }
  }
  if (!validAuthority(u.authority, error)) return false;
  out = u.text();
  return true;
}

// ---- dates ---------------------------------------------------------------

std::string httpDate(std::int64_t ms, int offsetMinutes) {
  static const char* const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::int64_t t = ms + static_cast<std::int64_t>(offsetMinutes) * 60000;
  std::int64_t days = t / 86400000;
  std::int64_t rem = t % 86400000;
  if (rem < 0) {
    rem += 86400000;
    --days;
  }
  const int wd = static_cast<int>(((days % 7) + 7) % 7);
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  const int secs = static_cast<int>(rem / 1000);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[wd], day, kMonths[month - 1],
                static_cast<int>(year), secs / 3600, secs / 60 % 60, secs % 60);
  return buf;
}

// ---- tag texts (as the host's element reads them) ------------------------

namespace {

bool blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string tagName(const std::string& tag) {
  if (tag.size() < 2 || tag[0] != '<') return "";
  std::size_t i = 1, end = tag.size();
  if (tag[end - 1] == '>') --end;
  std::string name;
  if (i < end && tag[i] == '/') {
    name += '/';
    ++i;
  }
  while (i < end && !blank(tag[i]) && tag[i] != '/' && tag[i] != '>') name += tag[i++];
  return name;
}

struct Span {
  long valueStart = -1, valueEnd = -1, nameEnd = 0;
};

bool findAttribute(const std::string& tag, const std::string& wanted, Span& out) {
  std::size_t end = tag.size();
  if (end > 0 && tag[end - 1] == '>') --end;
  std::size_t i = 1;
  while (i < end && !blank(tag[i])) ++i;
  while (i < end) {
    while (i < end && (blank(tag[i]) || tag[i] == '/')) ++i;
    const std::size_t nameStart = i;
    while (i < end && !blank(tag[i]) && tag[i] != '=' && tag[i] != '/') ++i;
    if (i == nameStart) {
      ++i;
      continue;
    }
    const std::string name = tag.substr(nameStart, i - nameStart);
    Span s;
    s.nameEnd = static_cast<long>(i);
    std::size_t j = i;
    while (j < end && blank(tag[j])) ++j;
    if (j < end && tag[j] == '=') {
      ++j;
      while (j < end && blank(tag[j])) ++j;
      s.valueStart = static_cast<long>(j);
      if (j < end && (tag[j] == '"' || tag[j] == '\'')) {
        const auto close = tag.find(tag[j], j + 1);
        j = close == std::string::npos || close >= end ? end : close + 1;
      } else {
        while (j < end && !blank(tag[j])) ++j;
      }
      s.valueEnd = static_cast<long>(j);
      i = j;
    }
    if (lower(name) == lower(wanted)) {
      out = s;
      return true;
    }
  }
  return false;
}

std::string quoteValue(const std::string& v) {
  if (v.find('"') == std::string::npos) return "\"" + v + "\"";
  if (v.find('\'') == std::string::npos) return "'" + v + "'";
  std::string q;
  for (char c : v) q += c == '"' ? std::string("&quot;") : std::string(1, c);
  return "\"" + q + "\"";
}

}  // namespace

// ---- the model -----------------------------------------------------------

Native* Host::native(const std::string& method) {
  for (Native* n : {&jiplok, &chiap, &lokboi, &setRequestProperties, &fmtGMT, &pHTML, &chuekia, &doOneTag, &repAttrib}) {
    if (n->method == method) return n;
  }
  return nullptr;
}

std::string Host::platform(const std::string& slashPath) const {
  std::string p = slashPath;
  for (char& c : p) {
    if (c == '/') c = vm.separator;
  }
  return p;
}

std::string Host::stringField(Object* o, const std::string& name) {
  const Value& v = o->fields[name];
  return v.o != nullptr ? v.o->text : std::string("<null>");
}

Object* Host::str(const std::string& s) { return vm.newString(s); }

Object* Host::pathStr(const std::string& p) {
  Object* s = vm.newString(p);
  s->path = true;
  return s;
}

Object* Host::url(const std::string& spec) {
  std::string text, error;
  if (!parseUrl(spec, text, error)) vm.fatal("scenario URL " + spec + ": " + error);
  Object* u = vm.alloc(vm.classNamed("java/net/URL"));
  u->text = text;
  return u;
}

Object* Host::file(const std::string& path) {
  Object* f = vm.alloc(vm.classNamed("java/io/File"));
  f->text = path;
  return f;
}

Object* Host::list() { return vm.alloc(vm.classNamed("java/util/ArrayList")); }

Object* Host::crawler() {
  Object* c = vm.alloc(vm.classNamed("UrlLoad"));
  c->label = "crawler";
  field(c, "range") = Value::obj(str(""));
  field(c, "urlToLoad") = Value::obj(list());
  field(c, "cookiesCol") = Value::obj(vm.alloc(vm.classNamed("Cookies")));
  return c;
}

Object* Host::node(int level, int parentIndex, Object* u, Object* linkText) {
  Object* n = vm.alloc(vm.classNamed("com/tolvak/fenwix/NodeURL"));
  vm.call(n, "<init>", "(IILjava/net/URL;Ljava/lang/String;)V",
          {Value::of(level), Value::of(parentIndex), Value::obj(u), Value::obj(linkText)});
  return n;
}

Object* Host::element(const std::string& tagText) {
  Object* e = vm.alloc(vm.classNamed("x7Element"));
  vm.call(e, "<init>", "(Ljava/lang/String;)V", {Value::obj(str(tagText))});
  return e;
}

Object* Host::reader(const std::string& text) {
  Object* r = vm.alloc(vm.classNamed("java/io/InputStreamReader"));
  r->bytes.assign(text.begin(), text.end());
  r->label = "reader";
  return r;
}

Object* Host::stream(const std::string& body) {
  Object* in = vm.alloc(vm.classNamed("ScriptedInputStream"));
  in->bytes.assign(body.begin(), body.end());
  state(in, "failAtRead") = Value::of(-1);
  state(in, "abortAtRead") = Value::of(-1);
  return in;
}

Object* Host::connection(Object* u, Object* in) {
  Object* c = vm.alloc(vm.classNamed("ScriptedConnection"));
  state(c, "url") = Value::obj(u);
  state(c, "in") = Value::obj(in);
  return c;
}

Object* Host::updParent(Object* parentNode) {
  Object* p = vm.alloc(vm.classNamed("UpdParent"));
  p->label = "updParent";
  field(p, "parentlURL") = Value::obj(parentNode);
  field(p, "isModified") = Value::of(0);
  return p;
}

Host::Host(Vm& v) : vm(v) {
  // Platform classes.
  Class* object = vm.defineClass("java/lang/Object", nullptr);
  Class* classClass = vm.defineClass("java/lang/Class", object);
  object->mirror->cls = classClass;
  classClass->mirror->cls = classClass;
  Class* string = vm.defineClass("java/lang/String", object);
  Class* buffer = vm.defineClass("java/lang/StringBuffer", object);
  Class* throwable = vm.defineClass("java/lang/Throwable", object);
  Class* exception = vm.defineClass("java/lang/Exception", throwable);
  Class* runtime = vm.defineClass("java/lang/RuntimeException", exception);
  vm.defineClass("java/lang/NullPointerException", runtime);
  Class* outOfBounds = vm.defineClass("java/lang/IndexOutOfBoundsException", runtime);
  vm.defineClass("java/lang/ArrayIndexOutOfBoundsException", outOfBounds);
  vm.defineClass("java/lang/NegativeArraySizeException", runtime);
  Class* io = vm.defineClass("java/io/IOException", exception);
  vm.defineClass("java/io/FileNotFoundException", io);
  vm.defineClass("java/net/MalformedURLException", io);
  Class* bytes = vm.defineClass("[B", object);
  bytes->describe = [](const Object* o) { return "byte[" + std::to_string(o->bytes.size()) + "]"; };

  Class* list = vm.defineClass("java/util/List", nullptr, {}, true);
  Class* arrayList = vm.defineClass("java/util/ArrayList", object, {list});
  Class* file = vm.defineClass("java/io/File", object);
  Class* out = vm.defineClass("java/io/FileOutputStream", object);
  Class* in = vm.defineClass("java/io/InputStream", object);
  Class* fileIn = vm.defineClass("java/io/FileInputStream", in);
  Class* scriptedIn = vm.defineClass("ScriptedInputStream", in);
  Class* readerBase = vm.defineClass("java/io/Reader", object);
  Class* reader = vm.defineClass("java/io/InputStreamReader", readerBase);
  Class* url = vm.defineClass("java/net/URL", object);
  Class* urlConnection = vm.defineClass("java/net/URLConnection", object);
  Class* connection = vm.defineClass("ScriptedConnection", urlConnection);
  Class* date = vm.defineClass("java/util/Date", object);
  Class* zone = vm.defineClass("java/util/TimeZone", object);
  Class* locale = vm.defineClass("java/util/Locale", object);
  Class* format = vm.defineClass("java/text/Format", object);
  Class* dateFormat = vm.defineClass("java/text/DateFormat", format);
  Class* simpleDateFormat = vm.defineClass("java/text/SimpleDateFormat", dateFormat);

  // Host classes.
  Class* cookies = vm.defineClass("Cookies", object);
  Class* crawler = vm.defineClass("UrlLoad", object);
  Class* node = vm.defineClass("com/tolvak/fenwix/NodeURL", object);
  Class* element = vm.defineClass("x7Element", object);
  Class* upd = vm.defineClass("UpdParent", object);

  auto boolean = [](bool b) { return Value::of(b ? 1 : 0); };

  // java/lang/Object
  vm.method(object, "<init>", "()V", [](Object*, const Args&) { return Value(); });
  vm.method(object, "toString", "()Ljava/lang/String;",
            [this](Object* self, const Args&) { return Value::obj(str(vm.describeObject(self))); });

  // java/lang/String
  string->describe = [](const Object* o) { return quote(o->text); };
  vm.method(string, "<init>", "(Ljava/lang/StringBuffer;)V", [](Object* self, const Args& a) {
    self->text = a[0].o->text;
    return Value();
  });
  vm.method(string, "equalsIgnoreCase", "(Ljava/lang/String;)Z", [boolean](Object* self, const Args& a) {
    return boolean(a[0].o != nullptr && lower(self->text) == lower(a[0].o->text));
  });
  vm.method(string, "toString", "()Ljava/lang/String;", [](Object* self, const Args&) { return Value::obj(self); });

  // java/lang/StringBuffer: append answers the buffer itself.
  vm.method(buffer, "<init>", "()V", [](Object*, const Args&) { return Value(); });
  vm.method(buffer, "append", "(C)Ljava/lang/StringBuffer;", [](Object* self, const Args& a) {
    self->text += javaCharToUtf(static_cast<unsigned>(a[0].i));
    return Value::obj(self);
  });
  vm.method(buffer, "append", "(Ljava/lang/String;)Ljava/lang/StringBuffer;", [](Object* self, const Args& a) {
    self->text += a[0].o != nullptr ? a[0].o->text : std::string("null");
    return Value::obj(self);
  });
  vm.method(buffer, "toString", "()Ljava/lang/String;",
            [this](Object* self, const Args&) { return Value::obj(str(self->text)); });

  // java/util/List and ArrayList
  const Impl abstract = [this](Object*, const Args&) -> Value { vm.fatal("call of an abstract List method"); };
  vm.method(list, "add", "(Ljava/lang/Object;)Z", abstract);
  vm.method(list, "get", "(I)Ljava/lang/Object;", abstract);
  vm.method(list, "size", "()I", abstract);
  arrayList->describe = [](const Object* o) { return "List[" + std::to_string(o->items.size()) + "]"; };
  vm.method(arrayList, "add", "(Ljava/lang/Object;)Z", [boolean](Object* self, const Args& a) {
    if (state(self, "refuseAdd").i != 0) return boolean(false);
    self->items.push_back(a[0].o);
    return boolean(true);
  });
  vm.method(arrayList, "get", "(I)Ljava/lang/Object;", [this](Object* self, const Args& a) {
    if (a[0].i < 0 || static_cast<std::size_t>(a[0].i) >= self->items.size()) {
      return vm.raise("java/lang/IndexOutOfBoundsException", "Index " + std::to_string(a[0].i));
    }
    return Value::obj(self->items[static_cast<std::size_t>(a[0].i)]);
  });
  vm.method(arrayList, "size", "()I",
            [](Object* self, const Args&) { return Value::of(static_cast<std::int64_t>(self->items.size())); });

  // java/io/File on the real disk.
  file->describe = [](const Object* o) { return "File(" + o->text + ")"; };
  vm.staticField(file, "separatorChar", "C", Value::of(static_cast<unsigned char>(vm.separator)));
  vm.method(file, "<init>", "(Ljava/lang/String;)V", [this](Object* self, const Args& a) {
    if (a[0].o == nullptr) return vm.raise("java/lang/NullPointerException", "File(null)");
    self->text = a[0].o->text;
    return Value();
  });
  vm.method(file, "exists", "()Z", [boolean](Object* self, const Args&) { return boolean(disk::exists(self->text)); });
  vm.method(file, "delete", "()Z", [boolean](Object* self, const Args&) { return boolean(disk::remove(self->text)); });
  vm.method(file, "length", "()J", [](Object* self, const Args&) { return Value::of(disk::length(self->text)); });
  vm.method(file, "lastModified", "()J", [](Object* self, const Args&) { return Value::of(disk::mtime(self->text)); });
  vm.method(file, "getPath", "()Ljava/lang/String;",
            [this](Object* self, const Args&) { return Value::obj(pathStr(self->text)); });
  vm.method(file, "getParent", "()Ljava/lang/String;", [this](Object* self, const Args&) {
    const auto at = self->text.rfind(vm.separator);
    if (at == std::string::npos || at == 0) return Value::obj(at == 0 ? pathStr(self->text.substr(0, 1)) : nullptr);
    return Value::obj(pathStr(self->text.substr(0, at)));
  });
  vm.method(file, "mkdirs", "()Z", [this, boolean](Object* self, const Args&) {
    if (disk::exists(self->text)) return boolean(false);
    bool made = false;
    for (std::size_t at = self->text.find(vm.separator, 1); ; at = self->text.find(vm.separator, at + 1)) {
      const std::string part = self->text.substr(0, at);
      if (!disk::exists(part)) made = disk::makeDir(part);
      if (at == std::string::npos) break;
    }
    return boolean(made);
  });
  vm.method(file, "createNewFile", "()Z", [this, boolean](Object* self, const Args&) {
    const int r = disk::createNew(self->text);
    if (r < 0) return vm.raise("java/io/IOException", "cannot create " + self->text);
    return boolean(r == 1);
  });

  // java/io/FileOutputStream, straight to the disk.
  vm.method(out, "<init>", "(Ljava/lang/String;Z)V", [this](Object* self, const Args& a) {
    if (a[0].o == nullptr) return vm.raise("java/lang/NullPointerException", "FileOutputStream(null)");
    self->text = a[0].o->text;
    self->file = disk::isDir(self->text) ? nullptr : std::fopen(self->text.c_str(), a[1].i != 0 ? "ab" : "wb");
    if (self->file == nullptr) return vm.raise("java/io/FileNotFoundException", self->text + " (cannot open)");
    return Value();
  });
  out->describe = [](const Object* o) { return "FileOutputStream(" + o->text + ")"; };
  vm.method(out, "write", "([BII)V", [this](Object* self, const Args& a) {
    const std::int64_t off = a[1].i, len = a[2].i;
    if (self->file == nullptr) return vm.raise("java/io/IOException", "Stream Closed");
    if (off < 0 || len < 0 || static_cast<std::size_t>(off + len) > a[0].o->bytes.size()) {
      return vm.raise("java/lang/IndexOutOfBoundsException", "write region");
    }
    if (len > 0 && std::fwrite(a[0].o->bytes.data() + off, 1, static_cast<std::size_t>(len), self->file) !=
                       static_cast<std::size_t>(len)) {
      return vm.raise("java/io/IOException", "write failed");
    }
    std::fflush(self->file);
    return Value();
  });
  vm.method(out, "close", "()V", [](Object* self, const Args&) {
    if (self->file != nullptr) std::fclose(self->file);
    self->file = nullptr;
    return Value();
  });

  // java/io/FileInputStream and InputStreamReader: the reader yields one
  // char per byte (the pages are ASCII).
  fileIn->describe = [](const Object* o) { return "FileInputStream(" + o->text + ")"; };
  vm.method(fileIn, "<init>", "(Ljava/lang/String;)V", [this](Object* self, const Args& a) {
    std::string content;
    if (a[0].o == nullptr || disk::isDir(a[0].o->text) || !disk::readFile(a[0].o->text, content)) {
      return vm.raise("java/io/FileNotFoundException", (a[0].o ? a[0].o->text : "null") + " (cannot open)");
    }
    self->text = a[0].o->text;
    self->bytes.assign(content.begin(), content.end());
    return Value();
  });
  vm.method(reader, "<init>", "(Ljava/io/InputStream;)V", [](Object* self, const Args& a) {
    self->bytes = a[0].o->bytes;
    self->label = "reader";
    return Value();
  });
  vm.method(reader, "read", "()I", [](Object* self, const Args&) {
    if (self->pos >= self->bytes.size()) return Value::of(-1);
    return Value::of(self->bytes[self->pos++]);
  });
  vm.method(reader, "close", "()V", [this](Object* self, const Args&) {
    if (state(self, "failClose").i != 0) return vm.raise("java/io/IOException", "close failed");
    return Value();
  });

  // The connection's body: at most len bytes a read; can fail at a given
  // read, or stop the crawl (another thread setting aborted) at one.
  scriptedIn->describe = [](const Object*) { return std::string("inputStream"); };
  vm.method(scriptedIn, "read", "([BII)I", [this](Object* self, const Args& a) {
    const std::int64_t n = self->number++;
    if (state(self, "failAtRead").i == n) return vm.raise("java/io/IOException", "connection reset");
    if (self->pos >= self->bytes.size()) return Value::of(-1);
    std::size_t len = static_cast<std::size_t>(a[2].i);
    if (len > self->bytes.size() - self->pos) len = self->bytes.size() - self->pos;
    std::memcpy(a[0].o->bytes.data() + a[1].i, self->bytes.data() + self->pos, len);
    self->pos += len;
    if (state(self, "abortAtRead").i == n) state(self, "crawler").o->fields["aborted"] = Value::of(1);
    return Value::of(static_cast<std::int64_t>(len));
  });
  connection->describe = [](const Object*) { return std::string("connection"); };
  vm.method(connection, "getInputStream", "()Ljava/io/InputStream;", [this](Object* self, const Args&) {
    if (state(self, "inputFails").i != 0) return vm.raise("java/io/IOException", "no body");
    return state(self, "in");
  });
  vm.method(connection, "getURL", "()Ljava/net/URL;", [](Object* self, const Args&) { return state(self, "url"); });
  vm.method(connection, "setRequestProperty", "(Ljava/lang/String;Ljava/lang/String;)V",
            [](Object* self, const Args& a) {
              self->text += a[0].o->text + ": " + (a[1].o != nullptr ? a[1].o->text : "null") + "\n";
              return Value();
            });

  // java/net/URL
  url->describe = [](const Object* o) { return "URL(" + o->text + ")"; };
  vm.method(url, "<init>", "(Ljava/lang/String;)V", [this](Object* self, const Args& a) {
    std::string error;
    if (a[0].o == nullptr || !parseUrl(a[0].o->text, self->text, error)) {
      return vm.raise("java/net/MalformedURLException", a[0].o == nullptr ? "null" : error);
    }
    return Value();
  });
  vm.method(url, "<init>", "(Ljava/net/URL;Ljava/lang/String;)V", [this](Object* self, const Args& a) {
    std::string error;
    if (a[1].o == nullptr) return vm.raise("java/net/MalformedURLException", "null");
    const bool ok = a[0].o == nullptr ? parseUrl(a[1].o->text, self->text, error)
                                      : resolveUrl(a[0].o->text, a[1].o->text, self->text, error);
    if (!ok) return vm.raise("java/net/MalformedURLException", error);
    return Value();
  });
  vm.method(url, "toString", "()Ljava/lang/String;",
            [this](Object* self, const Args&) { return Value::obj(str(self->text)); });
  vm.method(url, "getProtocol", "()Ljava/lang/String;",
            [this](Object* self, const Args&) { return Value::obj(str(self->text.substr(0, self->text.find(':')))); });

  // Dates: a formatter without setTimeZone writes in the double's default
  // zone, one hour east of GMT, so that a missing zone shows.
  date->describe = [](const Object* o) { return "Date(" + std::to_string(o->number) + ")"; };
  vm.method(date, "<init>", "(J)V", [](Object* self, const Args& a) {
    self->number = a[0].i;
    return Value();
  });
  vm.method(date, "<init>", "()V", [this](Object* self, const Args&) {
    self->number = vm.now;
    return Value();
  });
  zone->describe = [](const Object* o) { return "TimeZone(" + o->text + ")"; };
  vm.staticMethod(zone, "getTimeZone", "(Ljava/lang/String;)Ljava/util/TimeZone;", [this](Object*, const Args& a) {
    Object* z = vm.alloc(vm.classNamed("java/util/TimeZone"));
    z->text = a[0].o->text;
    z->number = a[0].o->text == "GMT" || a[0].o->text == "UTC" ? 0 : 60;
    return Value::obj(z);
  });
  locale->describe = [](const Object* o) { return "Locale." + o->text; };
  {
    Object* us = vm.alloc(locale);
    us->text = "US";
    vm.staticField(locale, "US", "Ljava/util/Locale;", Value::obj(us));
  }
  simpleDateFormat->describe = [](const Object*) { return std::string("SimpleDateFormat"); };
  auto makeFormat = [this](Object* self, Object* pattern) {
    if (pattern == nullptr || pattern->text != "EEE, dd MMM yyyy HH:mm:ss 'GMT'") {
      vm.fatal("SimpleDateFormat: the double knows only the HTTP date pattern, not " +
               (pattern ? quote(pattern->text) : std::string("null")));
    }
    self->text = pattern->text;
    self->number = 60;  // the default zone's offset in minutes
    return Value();
  };
  vm.method(simpleDateFormat, "<init>", "(Ljava/lang/String;)V",
            [makeFormat](Object* self, const Args& a) { return makeFormat(self, a[0].o); });
  vm.method(simpleDateFormat, "<init>", "(Ljava/lang/String;Ljava/util/Locale;)V",
            [makeFormat](Object* self, const Args& a) { return makeFormat(self, a[0].o); });
  vm.method(dateFormat, "setTimeZone", "(Ljava/util/TimeZone;)V", [](Object* self, const Args& a) {
    self->number = a[0].o->number;
    return Value();
  });
  vm.method(dateFormat, "format", "(Ljava/util/Date;)Ljava/lang/String;", [this](Object* self, const Args& a) {
    return Value::obj(str(httpDate(a[0].o->number, static_cast<int>(self->number))));
  });

  // Cookies
  cookies->describe = [](const Object*) { return std::string("cookies"); };
  vm.method(cookies, "sentCookies", "(Ljava/net/URL;)Ljava/lang/String;",
            [](Object* self, const Args&) { return state(self, "value"); });

  // UrlLoad, the crawler.
  for (const char* f : {"aborted Z", "urlIndex I", "nfiles I", "baseFileSlashCount I", "totalReadLength J",
                        "range Ljava/lang/String;", "urlToLoad Ljava/util/List;", "cookiesCol LCookies;",
                        "fo Ljava/text/SimpleDateFormat;", "baseURL Ljava/net/URL;",
                        "lURL Lcom/tolvak/fenwix/NodeURL;"}) {
    const std::string s = f;
    vm.field(crawler, s.substr(0, s.find(' ')), s.substr(s.find(' ') + 1));
  }
  vm.method(crawler, "appendLog", "(Ljava/lang/String;)V", [](Object* self, const Args& a) {
    self->text += a[0].o->text;
    return Value();
  });
  vm.staticMethod(crawler, "fileSetLastModified", "(Ljava/io/File;J)V", [](Object*, const Args& a) {
    // A time before 1970 cannot be set on a file; it keeps its own.
    if (a[1].i >= 0) disk::setMtime(a[0].o->text, a[1].i);
    return Value();
  });
  vm.method(crawler, "notSupportedProtocol", "(Ljava/lang/String;)Z", [boolean](Object*, const Args& a) {
    std::string scheme, rest;
    if (!splitScheme(trim(a[0].o->text), scheme, rest)) return boolean(false);
    return boolean(scheme != "http" && scheme != "https");
  });
  vm.method(crawler, "countBaseFileSlash", "()V", [](Object* self, const Args&) {
    self->fields["baseFileSlashCount"] = state(self, "slashCount");
    return Value();
  });
  vm.method(crawler, "scan_html", "(Lx7Element;)V", [this](Object* self, const Args& a) {
    // Every element with a name, in page order, to link discovery.
    std::vector<Object*> stack{a[0].o};
    while (!stack.empty() && vm.pending() == nullptr) {
      Object* e = stack.back();
      stack.pop_back();
      const std::string name = lower(tagName(e->text));
      if (!name.empty()) vm.callNative(chuekia, self, {Value::obj(e), Value::obj(str(name))});
      const auto& kids = e->fields["children"].o->items;
      for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(*it);
    }
    return Value();
  });

  // NodeURL
  node->describe = [](const Object* o) {
    const auto it = o->fields.find(".url");
    return "NodeURL(" + (it != o->fields.end() && it->second.o != nullptr ? it->second.o->text : "null") + ")";
  };
  vm.field(node, "readLength", "I");
  vm.method(node, "<init>", "(IILjava/net/URL;Ljava/lang/String;)V", [](Object* self, const Args& a) {
    state(self, "level") = a[0];
    state(self, "parentIndex") = a[1];
    state(self, "url") = a[2];
    state(self, "linkText") = a[3];
    state(self, "maxLevel") = Value::of(1000);
    return Value();
  });
  auto getter = [](const char* key) { return [key](Object* self, const Args&) { return state(self, key); }; };
  vm.method(node, "getLoadedFilename", "()Ljava/lang/String;", getter("loadedFilename"));
  vm.method(node, "getResponseCode", "()I", getter("responseCode"));
  vm.method(node, "getURL", "()Ljava/net/URL;", getter("url"));
  vm.method(node, "getLastModified", "()J", getter("lastModified"));
  vm.method(node, "getParentIndex", "()I", getter("parentIndex"));
  vm.method(node, "getLevel", "()I", getter("level"));
  vm.method(node, "isPreviouslyDownloaded", "()Z", getter("previouslyDownloaded"));
  vm.method(node, "setURL", "(Ljava/net/URL;)V", [](Object* self, const Args& a) {
    state(self, "url") = a[0];
    return Value();
  });
  vm.method(node, "isPastMaxLevel", "()Z", [boolean](Object* self, const Args&) {
    return boolean(state(self, "level").i > state(self, "maxLevel").i);
  });
  auto isLoaded = [](Object* self) {
    return state(self, "previouslyDownloaded").i != 0 ||
           (state(self, "downloaded").i != 0 && state(self, "readWriteError").i == 0 &&
            state(self, "stopped").i == 0 && state(self, "createError").i == 0);
  };
  vm.method(node, "isLoaded", "()Z", [boolean, isLoaded](Object* self, const Args&) { return boolean(isLoaded(self)); });
  vm.method(node, "downloadThisURL", "()Z", [boolean](Object* self, const Args&) {
    const std::int64_t code = state(self, "responseCode").i;
    return boolean(state(self, "previouslyDownloaded").i == 0 && state(self, "notFound").i == 0 && code >= 200 &&
                   code < 300);
  });
  vm.method(node, "processHTML", "()Z", [boolean, isLoaded](Object* self, const Args&) {
    return boolean(state(self, "html").i != 0 && isLoaded(self));
  });
  for (const char* s : {"setDownloaded", "setPreviouslyDownloaded", "setNotFound", "setCreateError",
                        "setReadWriteError", "setStopped"}) {
    const std::string name = s;
    std::string key = name.substr(3);
    key[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[0])));
    vm.method(node, name, "()V", [name, key](Object* self, const Args&) {
      state(self, key) = Value::of(1);
      self->text += (self->text.empty() ? "" : " ") + name;  // the state calls in order
      return Value();
    });
  }

  // x7Element
  element->describe = [](const Object* o) { return "x7Element(" + o->text + ")"; };
  vm.field(element, "data", "Ljava/lang/StringBuffer;");
  vm.field(element, "children", "Ljava/util/List;");
  vm.method(element, "<init>", "(Ljava/lang/String;)V", [this](Object* self, const Args& a) {
    self->text = a[0].o != nullptr ? a[0].o->text : "";
    self->fields["data"] = Value::obj(vm.alloc(vm.classNamed("java/lang/StringBuffer")));
    self->fields["children"] = Value::obj(vm.alloc(vm.classNamed("java/util/ArrayList")));
    return Value();
  });
  vm.method(element, "findChild", "(Ljava/io/InputStreamReader;)V", [this](Object* self, const Args& a) {
    // The host's loop: the tag reader until it answers 0.
    for (int guard = 0; guard < 100000; ++guard) {
      const Value r = vm.callNative(doOneTag, self, {a[0]});
      if (vm.pending() != nullptr || r.i == 0) return Value();
    }
    vm.fatal("findChild: doOneTag never answered 0");
  });
  vm.method(element, "getTagname", "()Ljava/lang/String;",
            [this](Object* self, const Args&) { return Value::obj(str(tagName(self->text))); });
  vm.method(element, "getEndTagname", "()Ljava/lang/String;", [this](Object* self, const Args&) {
    const std::string name = tagName(self->text);
    if (name.empty() || name[0] == '/') return Value::obj(nullptr);
    return Value::obj(str("/" + name));
  });
  vm.method(element, "getAttribute", "(Ljava/lang/String;)Ljava/lang/String;", [this](Object* self, const Args& a) {
    Span s;
    if (!findAttribute(self->text, a[0].o->text, s)) return Value::obj(nullptr);
    if (s.valueStart < 0) return Value::obj(str(""));
    return Value::obj(str(self->text.substr(static_cast<std::size_t>(s.valueStart),
                                            static_cast<std::size_t>(s.valueEnd - s.valueStart))));
  });
  vm.method(element, "replaceAttribute", "(Ljava/lang/String;Ljava/lang/String;)Z",
            [boolean](Object* self, const Args& a) {
              Span s;
              if (state(self, "refuseReplace").i != 0 || !findAttribute(self->text, a[0].o->text, s)) {
                return boolean(false);
              }
              const std::string q = quoteValue(a[1].o->text);
              const std::string& t = self->text;
              if (s.valueStart < 0) {
                self->text = t.substr(0, static_cast<std::size_t>(s.nameEnd)) + "=" + q +
                             t.substr(static_cast<std::size_t>(s.nameEnd));
              } else {
                self->text = t.substr(0, static_cast<std::size_t>(s.valueStart)) + q +
                             t.substr(static_cast<std::size_t>(s.valueEnd));
              }
              return boolean(true);
            });

  // UpdParent: findMatch answers from the scenario's table of link texts.
  vm.field(upd, "parentlURL", "Lcom/tolvak/fenwix/NodeURL;");
  vm.field(upd, "isModified", "Z");
  vm.method(upd, "findMatch", "(Ljava/lang/String;)Lcom/tolvak/fenwix/NodeURL;", [](Object* self, const Args& a) {
    const auto it = self->fields.find(".match:" + a[0].o->text);
    return it == self->fields.end() ? Value() : it->second;
  });
}

}  // namespace jd
