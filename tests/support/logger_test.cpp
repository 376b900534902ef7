#include "support/logger.h"

#include "tests/common/case_name.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char* const line_end = "\r\n"; // text mode
#else
const char* const line_end = "\n";
#endif

// Runs each test in a fresh, empty working directory, since the log goes to the current one.
class Logger : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("authclient-logger-" + std::string(info->name()) + "-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The lines of a file read in binary, each without its line end; fails on a foreign ending.
    static std::vector<std::string> lines_of(const std::string& name) {
        const std::string content = read(name);
        std::vector<std::string> lines;
        const std::string end = line_end;
        std::size_t start = 0;
        while (start < content.size()) {
            const std::size_t stop = content.find(end, start);
            if (stop == std::string::npos) {
                ADD_FAILURE() << "unterminated last line: " << content.substr(start);
                break;
            }
            lines.push_back(content.substr(start, stop - start));
            start = stop + end.size();
        }
        return lines;
    }

    static std::vector<std::string> files() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(fs::current_path()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path previous_;
    fs::path dir_;
};

std::string date_name(const char* pattern) {
    const std::time_t now = std::time(nullptr);
    char name[64];
    std::strftime(name, sizeof name, pattern, std::localtime(&now));
    return name;
}

TEST(LoggerLevelName, SixNamedLevelsNothingForZeroADashOtherwise) {
    const std::pair<int, const char*> cases[] = {
        {0, ""},      {1, "ERROR"}, {2, "WARNING"}, {3, "INFO"},    {4, "MONITOR"}, {5, "DEBUG"},
        {6, "TRACE"}, {7, "-"},     {-1, "-"},      {INT_MAX, "-"}, {INT_MIN, "-"}};
    for (const auto& c : cases)
        EXPECT_EQ(c_logger::level_name(c.first), c.second) << c.first;
}

struct threshold_case {
    const char* name;
    int level;
    std::vector<std::string> written;
};

void PrintTo(const threshold_case& c, std::ostream* out) {
    *out << "level " << c.level;
}

class LoggerThreshold : public Logger, public ::testing::WithParamInterface<threshold_case> {};

TEST_P(LoggerThreshold, WritesTheLevelsUpToTheThreshold) {
    const c_logger logger(GetParam().level, "threshold.log", "T", "S");
    for (int level = LOG_ERROR; level <= LOG_TRACE; ++level)
        LOG(logger, level, "line " << level);
    std::vector<std::string> expected;
    for (const std::string& name : GetParam().written) {
        int level = 1;
        while (c_logger::level_name(level) != name)
            ++level;
        expected.push_back("S [" + name + "] T - line " + std::to_string(level));
    }
    if (expected.empty()) {
        EXPECT_TRUE(files().empty()) << "logging off must not even create the file";
    } else {
        EXPECT_EQ(lines_of("threshold.log"), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LoggerThreshold,
    ::testing::Values(
        threshold_case{"Off", 0, {}}, threshold_case{"MinusOne", -1, {}},
        threshold_case{"Smallest", INT_MIN, {}}, threshold_case{"Errors", 1, {"ERROR"}},
        threshold_case{"Debug", 5, {"ERROR", "WARNING", "INFO", "MONITOR", "DEBUG"}},
        threshold_case{"Trace", 6, {"ERROR", "WARNING", "INFO", "MONITOR", "DEBUG", "TRACE"}},
        threshold_case{"AboveTrace", 7, {"ERROR", "WARNING", "INFO", "MONITOR", "DEBUG", "TRACE"}}),
    test::case_name());

TEST_F(Logger, FilteredLineComposesNothing) {
    const c_logger logger(5, "filtered.log");
    int composed = 0;
    auto piece = [&composed] {
        ++composed;
        return "piece";
    };
    LOG(logger, LOG_TRACE, piece());
    EXPECT_EQ(composed, 0);
    LOG(logger, LOG_DEBUG, piece());
    EXPECT_EQ(composed, 1);
}

TEST_F(Logger, LineLayoutOfEveryConstructor) {
    const c_logger client(6, "layout.log", "CLIENT", "STAMP");
    const c_logger sub(client, "X");
    const c_logger untagged(6, "layout.log", "", "S2");
    const unsigned short port = 777;
    LOG(client, LOG_TRACE, "void auth::c_client::start()");
    LOG(sub, LOG_DEBUG, "<- port " << port << ", count " << -12);
    LOG(untagged, LOG_INFO, "");
    LOG(client, 0, "level zero");
    EXPECT_EQ(lines_of("layout.log"),
              (std::vector<std::string>{"STAMP [TRACE] CLIENT - void auth::c_client::start()",
                                        "STAMP [DEBUG] CLIENT:X - <- port 777, count -12",
                                        "S2 [INFO]  - ", "STAMP [] CLIENT - level zero"}));
}

// Whatever a message holds, it stays one line: control characters become visible escapes.
TEST_F(Logger, ControlCharactersAreEscaped) {
    const c_logger logger(6, "escape.log", "T", "S");
    const std::string text = std::string("a\r\nb\tc") + '\0' + "\x01\x1f\x7f" + u8"ё\\";
    LOG(logger, LOG_INFO, text);
    EXPECT_EQ(lines_of("escape.log"),
              (std::vector<std::string>{
                  std::string("S [INFO] T - a\\r\\nb\\tc\\x00\\x01\\x1F\\x7F") + u8"ё\\"}));
}

TEST_F(Logger, DefaultStampIsTheLocalTimeOfTheLine) {
    const c_logger with_tag(6, "stamp.log", "CLIENT");
    const c_logger without_tag(6, "stamp.log");
    const c_logger sub(without_tag, "SUB");
    const std::string before = date_name("[%d.%m.%Y %H:%M:%S]");
    LOG(with_tag, LOG_ERROR, "one");
    LOG(without_tag, LOG_ERROR, "two");
    LOG(sub, LOG_ERROR, "three");
    const std::string after = date_name("[%d.%m.%Y %H:%M:%S]");
    const std::vector<std::string> lines = lines_of("stamp.log");
    ASSERT_EQ(lines.size(), 3u);
    const std::regex layout(
        R"((\[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\]) \[ERROR\] (CLIENT|:SUB|) - (\w+))");
    const char* const messages[] = {"one", "two", "three"};
    const char* const tags[] = {"CLIENT", "", ":SUB"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, layout)) << lines[i];
        EXPECT_TRUE(m[1] == before || m[1] == after) << lines[i];
        EXPECT_EQ(m[2], tags[i]);
        EXPECT_EQ(m[3], messages[i]);
    }
    const std::string stamp = with_tag.time_stamp();
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\[\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\])")))
        << stamp;
}

TEST_F(Logger, DailyFileIsNamedByTheDateAndAppendedTo) {
    const c_logger logger(3, "zerva_client_%d.%m.%Y.log", "CLIENT", "S");
    const std::string before = date_name("zerva_client_%d.%m.%Y.log");
    LOG(logger, LOG_INFO, "first");
    LOG(logger, LOG_INFO, "second");
    const std::string after = date_name("zerva_client_%d.%m.%Y.log");
    if (before != after)
        GTEST_SKIP() << "the lines went to the files of two days";
    const std::vector<std::string> names = files();
    ASSERT_EQ(names, std::vector<std::string>{before});
    EXPECT_EQ(read(before), std::string("S [INFO] CLIENT - first") + line_end +
                                "S [INFO] CLIENT - second" + line_end);

    // The file is neither held open nor truncated: removed, it comes back with the next line.
    std::ofstream(names[0], std::ios::app) << "kept" << std::endl;
    LOG(logger, LOG_INFO, "third");
    EXPECT_EQ(lines_of(names[0]).back(), "S [INFO] CLIENT - third");
    EXPECT_EQ(lines_of(names[0]).size(), 4u);
    ASSERT_TRUE(fs::remove(names[0]));
    LOG(logger, LOG_INFO, "fourth");
    EXPECT_EQ(lines_of(date_name("zerva_client_%d.%m.%Y.log")),
              std::vector<std::string>{"S [INFO] CLIENT - fourth"});
}

// Long lines, so that a line leaves the stream in more than one write and two unserialised
// writers would mix their pieces.
TEST_F(Logger, LinesOfTwoThreadsNeverInterleave) {
    const c_logger logger(6, "threads.log", "T", "S");
    const int per_thread = 1000;
    const std::size_t fill = 3000;
    std::mutex gate;
    std::condition_variable opened;
    bool go = false;
    auto writer = [&](char name) {
        {
            std::unique_lock<std::mutex> lock(gate);
            opened.wait(lock, [&] { return go; });
        }
        const std::string own(fill, name);
        for (int i = 0; i < per_thread; ++i)
            LOG(logger, LOG_DEBUG, name << " " << i << " " << own << "|" << own);
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    {
        std::lock_guard<std::mutex> lock(gate);
        go = true;
    }
    opened.notify_all();
    a.join();
    b.join();

    const std::vector<std::string> lines = lines_of("threads.log");
    EXPECT_EQ(lines.size(), 2u * per_thread);
    const std::string head = "S [DEBUG] T - ";
    std::set<std::string> seen;
    for (const std::string& line : lines) {
        const std::size_t number_end = line.find(' ', head.size() + 2);
        ASSERT_EQ(line.compare(0, head.size(), head), 0) << line.substr(0, 80);
        ASSERT_NE(number_end, std::string::npos) << line.substr(0, 80);
        const char name = line[head.size()];
        const std::string own(fill, name);
        const std::string number = line.substr(head.size() + 2, number_end - head.size() - 2);
        ASSERT_TRUE(name == 'a' || name == 'b') << line.substr(0, 80);
        ASSERT_EQ(line.substr(number_end), " " + own + "|" + own) << line.substr(0, 80);
        EXPECT_TRUE(seen.insert(name + number).second) << "twice: " << name << number;
    }
    EXPECT_EQ(seen.size(), 2u * per_thread);
}

// A file that cannot be opened drops the line silently; the next line tries again.
TEST_F(Logger, UnopenableFileIsSkippedAndRetried) {
    const c_logger blocked(6, "blocked.log", "T", "S");
    const c_logger nowhere(6, "missing_folder/x.log", "T", "S");
    fs::create_directory("blocked.log"); // a folder holds the name
    LOG(blocked, LOG_ERROR, "lost");
    LOG(nowhere, LOG_ERROR, "lost");
    EXPECT_TRUE(fs::is_directory("blocked.log"));
    EXPECT_FALSE(fs::exists("missing_folder"));

    fs::remove("blocked.log");
    LOG(blocked, LOG_ERROR, "written");
    EXPECT_EQ(lines_of("blocked.log"), std::vector<std::string>{"S [ERROR] T - written"});
}

#ifndef _WIN32
// A working directory that can take no file (gone while the program runs, which stops even
// root, who ignores permission bits).
TEST_F(Logger, WorkingDirectoryWithoutWriteAccessWritesNoLog) {
    const fs::path gone = dir_ / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    const c_logger logger(6, "gone.log", "T", "S");
    LOG(logger, LOG_ERROR, "lost");
    EXPECT_FALSE(fs::exists(gone));
    fs::current_path(dir_);
    EXPECT_TRUE(files().empty());
}
#endif

} // namespace
