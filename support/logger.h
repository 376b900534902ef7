// Per-component logger: one line at a time appended to the daily file, opened and closed for
// every line. Writing never throws; a file that cannot be opened is skipped silently.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

enum log_level : int {
    LOG_ERROR = 1,
    LOG_WARNING = 2,
    LOG_INFO = 3,
    LOG_MONITOR = 4,
    LOG_DEBUG = 5,
    LOG_TRACE = 6,
};

class c_logger {
public:
    c_logger(int level, const std::string& file_pattern);
    c_logger(int level, const std::string& file_pattern, const std::string& tag);
    c_logger(int level, const std::string& file_pattern, const std::string& tag,
             const std::string& stamp_pattern);
    c_logger(const c_logger& parent, const std::string& sub_tag); // tag "PARENT:SUB"

    static const std::string& level_name(int level); // "" for 0, "-" outside 0..6
    std::string time_stamp() const;
    void open(std::ofstream& stream) const; // append to the file named by the pattern, now
    void close(std::ofstream& stream) const;

    bool enabled(int level) const { return level_ >= level; }
    int level() const { return level_; }
    const std::string& tag() const { return tag_; }

    // Writes one line "STAMP [LEVEL] TAG - message" whose message `compose` inserts into the
    // stream. Call through LOG() so that nothing is composed when the level filters the line.
    template <class Compose> void write(int level, Compose&& compose) const noexcept {
        try {
            std::ostringstream message;
            compose(message);
            write_line(level, message.str());
        } catch (...) {
            // A line that cannot be composed is dropped; logging never disturbs its caller.
        }
    }

private:
    void write_line(int level, const std::string& message) const noexcept;

    int level_;
    std::string file_pattern_;
    std::string tag_;
    std::string stamp_pattern_;
};

// LOG(logger, LOG_DEBUG, "Pause: " << pause << " ms ...");
#define LOG(logger, level, pieces)                                                                 \
    do {                                                                                           \
        if ((logger).enabled(level))                                                               \
            (logger).write((level), [&](std::ostream& log_stream_) { log_stream_ << pieces; });    \
    } while (0)
