#include "support/exception.h"

#include "support/text.h"

#include <cstring>

namespace ex {

std::string c_exception::report() const {
    std::string s;
    s << "Exception occured:"
      << "\n> Time: " << time << "\n> Location: " << location << "\n> Text: " << message << "\n";
    return s;
}

namespace {

// "src/auth/client.cpp" -> "client"
std::string source_name(const char* file) {
    const char* base = file;
    for (const char* p = file; *p; ++p)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    const char* dot = std::strrchr(base, '.');
    return dot ? std::string(base, dot) : std::string(base);
}

} // namespace

void fill(c_exception& e, const std::string& message, const char* file, int line,
          const char* function) {
    e.time = local_time_text("%d.%m.%Y %H:%i:%s");
    e.location.clear();
    e.location << "file: " << source_name(file) << ", line: " << line << ", function: " << function;
    e.message = message;
}

} // namespace ex
