#include "support/logger.h"

#include "support/text.h"

#include <mutex>

namespace {

// One table for every logger; index 7 names every level outside 0..6.
const std::string level_names[8] = {"",        "ERROR", "WARNING", "INFO",
                                    "MONITOR", "DEBUG", "TRACE",   "-"};

const char* const default_stamp_pattern = "[%d.%m.%Y %H:%i:%s]";

// The client's logger is used by the main thread and the worker at once: whole lines must not
// interleave in the shared daily file, so open, append and close happen under one lock.
std::mutex& line_mutex() {
    static std::mutex mutex;
    return mutex;
}

// Control characters as visible escapes: no text from the server or the user may end a line
// early or forge one of its own.
std::string one_line(const std::string& message) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(message.size());
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
            continue;
        }
        out += '\\';
        switch (c) {
        case '\r':
            out += 'r';
            break;
        case '\n':
            out += 'n';
            break;
        case '\t':
            out += 't';
            break;
        default:
            out += 'x';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

} // namespace

c_logger::c_logger(int level, const std::string& file_pattern)
    : c_logger(level, file_pattern, std::string(), default_stamp_pattern) {}

c_logger::c_logger(int level, const std::string& file_pattern, const std::string& tag)
    : c_logger(level, file_pattern, tag, default_stamp_pattern) {}

c_logger::c_logger(int level, const std::string& file_pattern, const std::string& tag,
                   const std::string& stamp_pattern)
    : level_(level), file_pattern_(file_pattern), tag_(tag), stamp_pattern_(stamp_pattern) {}

c_logger::c_logger(const c_logger& parent, const std::string& sub_tag)
    : level_(parent.level_), file_pattern_(parent.file_pattern_), tag_(parent.tag_ + ":" + sub_tag),
      stamp_pattern_(parent.stamp_pattern_) {}

const std::string& c_logger::level_name(int level) {
    return level >= 0 && level <= 6 ? level_names[level] : level_names[7];
}

std::string c_logger::time_stamp() const {
    return local_time_text(stamp_pattern_);
}

void c_logger::open(std::ofstream& stream) const {
    stream.open(local_time_text(file_pattern_), std::ios::out | std::ios::app);
}

void c_logger::close(std::ofstream& stream) const {
    if (stream.is_open())
        stream.close();
}

void c_logger::write_line(int level, const std::string& message) const noexcept {
    try {
        std::lock_guard<std::mutex> lock(line_mutex());
        std::ofstream stream;
        open(stream); // a stream that failed to open drops every insertion
        const std::string& name = level_name(level);
        const std::string stamp = time_stamp();
        stream << stamp << " [" << name << "] " << tag_ << " - " << one_line(message) << '\n';
        stream.flush();
        close(stream);
    } catch (...) {
        // Logging must never disturb its caller.
    }
}
