#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "logging/log_line_format.h"
#include "logging/logger.h"
#include "platform/debugger_output.h"
#include "platform/process_info.h"
#include "recording_log_target.h"

namespace Vorn {
namespace {

using Testing::RecordingLogTarget;

// Each test gets a fresh logger (one reference for the test's lifetime),
// with the console targets redirected to temporary files.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A logger that a log call outside these tests created holds no
        // reference: this pair ends it, so no test sees another's settings.
        Logger::AddReference();
        Logger::ReleaseReference();
        ASSERT_FALSE(Logger::Exists()) << "a reference to the logger was left behind";
        Logger::AddReference();
        stderrFile_ = std::tmpfile();
        stdoutFile_ = std::tmpfile();
        Logger::Instance().StdErrTarget().SetStream(stderrFile_);
        Logger::Instance().StdOutTarget().SetStream(stdoutFile_);
        Platform::SetDebuggerSink([](const char* text, void* user) { *static_cast<std::string*>(user) += text; },
                                  &debugger_);
    }

    void TearDown() override {
        Platform::SetDebuggerSink(nullptr, nullptr);
        Logger::ReleaseReference();
        EXPECT_FALSE(Logger::Exists());
        std::fclose(stderrFile_);
        std::fclose(stdoutFile_);
    }

    static std::string Contents(std::FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        char chunk[512];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) text.append(chunk, n);
        return text;
    }

    std::FILE* stderrFile_ = nullptr;
    std::FILE* stdoutFile_ = nullptr;
    std::string debugger_;
};

uint32_t Low(uint64_t groups) { return static_cast<uint32_t>(groups); }
uint32_t High(uint64_t groups) { return static_cast<uint32_t>(groups >> 32); }

TEST_F(LoggerTest, BuiltInTargetsAndTheirDefaults) {
    Logger& logger = Logger::Instance();
    EXPECT_EQ(logger.MinimumLevel(), kLogWarn);
    EXPECT_EQ(logger.SuppressedGroups(), kLogGroupXTR);
    EXPECT_NE(logger.FindTarget("StdErrLogTarget"), nullptr);
    EXPECT_NE(logger.FindTarget("DebuggerConsoleLogTarget"), nullptr);
    EXPECT_EQ(logger.FindTarget("StdOutLogTarget"), nullptr);  // not attached by default
    EXPECT_EQ(logger.FindTarget("stderrlogtarget"), nullptr);  // exact comparison
    LogTargetConfig err = logger.StdErrTarget().Config();
    EXPECT_EQ(err.minimumLevel, 1);
    EXPECT_EQ(err.includeGroups, kLogGroupDBG);
    EXPECT_EQ(err.excludeGroups, kLogGroupGEN);
    EXPECT_EQ(err.format, "#E(#T): #L| #M");
    EXPECT_EQ(logger.StdOutTarget().Config().format, "#M");
}

TEST_F(LoggerTest, RoutesByLevelAndGroups) {
    Log(kLogWarn, 0, 0, "no group %d", 1);                  // every target that allows WARN
    Log(kLogWarn, Low(kLogGroupDBG), 0, "debug group");     // stderr + debugger
    Log(kLogWarn, Low(kLogGroupGEN), 0, "general group");   // neither of them
    Log(kLogWarn, Low(kLogGroupXTR), 0, "suppressed");      // dropped by the logger
    Log(kLogOkay, 0, 0, "below the minimum");               // dropped by the logger
    Logger::Instance().Attach(&Logger::Instance().StdOutTarget());
    Log(kLogError, Low(kLogGroupGEN), 0, "general again");  // reaches standard output now

    std::string err = Contents(stderrFile_);
    EXPECT_NE(err.find("  WARN| no group 1\n"), std::string::npos);
    EXPECT_NE(err.find("  WARN| debug group\n"), std::string::npos);
    EXPECT_EQ(err.find("general"), std::string::npos);
    EXPECT_EQ(err.find("suppressed"), std::string::npos);
    EXPECT_EQ(err.find("minimum"), std::string::npos);
    EXPECT_NE(debugger_.find("  WARN| debug group\n"), std::string::npos);
    EXPECT_EQ(debugger_.find("general"), std::string::npos);
    EXPECT_EQ(Contents(stdoutFile_), "general again\n");
}

TEST_F(LoggerTest, MutedMinimumLevelAndSuppressedGroups) {
    RecordingLogTarget target;
    LogTargetConfig config;
    config.minimumLevel = kLogOkay;
    config.format = "#M";
    target.Configure(config);
    Logger& logger = Logger::Instance();

    logger.SetMuted(true);
    Log(kLogAlways, 0, 0, "muted");
    logger.SetMuted(false);
    logger.SetMinimumLevel(kLogOkay);
    Log(kLogOkay, 0, 0, "okay now");
    logger.SetSuppressedGroups(kLogGroupNET);
    Log(kLogWarn, Low(kLogGroupNET | kLogGroupDBG), 0, "net");
    Log(kLogWarn, Low(kLogGroupXTR), 0, "extra allowed");
    EXPECT_EQ(target.Lines(), (std::vector<std::string>{"okay now\n", "extra allowed\n"}));
}

TEST_F(LoggerTest, TargetFilterIncludeExcludeAndHighGroups) {
    RecordingLogTarget target;
    LogTargetConfig config;
    config.includeGroups = kLogGroupNET | kLogGroupDSK | (1ULL << 40);
    config.excludeGroups = kLogGroupDSK;
    config.format = "#M";
    target.Configure(config);
    // Include loses the bits that are also excluded.
    EXPECT_EQ(target.Config().includeGroups, kLogGroupNET | (1ULL << 40));

    Log(kLogWarn, Low(kLogGroupNET), 0, "net");
    Log(kLogWarn, Low(kLogGroupDSK | kLogGroupNET), 0, "disk and net");  // excluded wins
    Log(kLogWarn, Low(kLogGroupMEM), 0, "memory");                       // not included
    Log(kLogWarn, 0, High(1ULL << 40), "high group");
    Log(kLogWarn, 0, 0, "no group");
    EXPECT_EQ(target.Lines(), (std::vector<std::string>{"net\n", "high group\n", "no group\n"}));
}

TEST_F(LoggerTest, TargetsDetachWhenDestroyedAndWhenTheLoggerGoes) {
    {
        RecordingLogTarget target;
        target.Configure(LogTargetConfig{});
        EXPECT_TRUE(target.IsAttached());
        EXPECT_EQ(Logger::Instance().FindTarget("RecordingLogTarget"), &target);
    }
    EXPECT_EQ(Logger::Instance().FindTarget("RecordingLogTarget"), nullptr);
    Log(kLogWarn, 0, 0, "after the target died");  // must not touch it

    RecordingLogTarget survivor;
    survivor.Configure(LogTargetConfig{});
    Logger::AddReference();
    EXPECT_EQ(Logger::ReferenceCount(), 2);
    Logger::ReleaseReference();
    EXPECT_TRUE(survivor.IsAttached());
    survivor.Detach();
    EXPECT_FALSE(survivor.IsAttached());
    EXPECT_EQ(Logger::Instance().FindTarget("RecordingLogTarget"), nullptr);
}

TEST_F(LoggerTest, ConcurrentLinesAreWholeAndNotInterleaved) {
    RecordingLogTarget target;
    LogTargetConfig config;
    config.format = "#M";
    target.Configure(config);
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::string payload(100 + t * 50, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i) Log(kLogWarn, 0, 0, "%d:%d:%s", t, i, payload.c_str());
        });
    }
    for (auto& thread : threads) thread.join();

    std::vector<std::string> lines = target.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::map<int, int> nextIndex;
    for (const std::string& line : lines) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d:%d:", &t, &i), 2) << line;
        ASSERT_EQ(i, nextIndex[t]++) << "lines of one thread arrive in order";
        std::string expected = std::to_string(t) + ":" + std::to_string(i) + ":" +
                               std::string(100 + t * 50, static_cast<char>('a' + t)) + "\n";
        ASSERT_EQ(line, expected);
    }
    // Every standard-error line is whole as well.
    std::string err = Contents(stderrFile_);
    std::size_t count = 0;
    for (std::size_t pos = 0; (pos = err.find('\n', pos)) != std::string::npos; ++pos) ++count;
    EXPECT_EQ(count, static_cast<std::size_t>(kThreads * kLines));
}

TEST_F(LoggerTest, LongMessagesAreCutAt4095Characters) {
    RecordingLogTarget target;
    LogTargetConfig config;
    config.format = "#M";
    target.Configure(config);
    std::string text(6000, 'q');
    Log(kLogWarn, 0, 0, "%s", text.c_str());
    ASSERT_EQ(target.Lines().size(), 1u);
    // The line keeps room for its newline: 4094 characters + "\n".
    EXPECT_EQ(target.Lines()[0], std::string(4094, 'q') + "\n");
}

LogMessage Message(int32_t level, uint64_t groups, const char* text) {
    LogMessage message{};
    message.time = Platform::LocalTime{2024, 5, 1, 13, 2, 3, 4};
    message.level = level;
    message.groups = groups;
    std::snprintf(message.text, sizeof(message.text), "%s", text);
    return message;
}

std::string Render(const char* format, const LogMessage& message, std::size_t capacity = 4096) {
    std::vector<char> out(capacity);
    std::size_t n = RenderLogLine(format, message, "client.exe", out.data(), out.size());
    EXPECT_EQ(std::strlen(out.data()), n);
    return std::string(out.data(), n);
}

TEST(LogLineFormat, Codes) {
    LogMessage m = Message(kLogError, kLogGroupDBG | kLogGroupNET, "hello");
    EXPECT_EQ(Render("#D| #L| #G| #M", m), "2024-05-01T13:02:03.004|  ERROR| DBG;NET| hello\n");
    EXPECT_EQ(Render("#E: #L", Message(kLogAlways, 0, "")), "client.exe: ALWAYS\n");
    EXPECT_EQ(Render("[#G]", Message(kLogWarn, 0, "")), "[]\n");
    EXPECT_EQ(Render("#X##Y", m), "X#Y\n");
    EXPECT_EQ(Render("end#", m), "end\n");
    EXPECT_EQ(Render("", m), "\n");
    EXPECT_EQ(Render("#M", Message(kLogWarn, 0, "already\n")), "already\n");
    EXPECT_EQ(Render("#L", Message(7, 0, "")), "     ?\n");

    std::string hours = Render("#H", m);
    ASSERT_EQ(hours.size(), 11u);
    EXPECT_EQ(hours[6], '.');
    char thread[64];
    std::snprintf(thread, sizeof(thread), "%p\n", Platform::CurrentThreadId());
    EXPECT_EQ(Render("#T", m), thread);
}

TEST(LogLineFormat, ElapsedSecondsAreExactAtAnyAge) {
    const struct {
        const char* description;
        uint64_t nanoseconds;
        const char* text;
    } cases[] = {
        {"the first use", 0, "000000.000"},
        {"less than a millisecond is cut", 999999, "000000.000"},
        {"the last nanosecond of a second", 999999999, "000000.999"},
        {"seconds and milliseconds", 12345000000, "000012.345"},
        {"4.5 hours and 1 ms", 16200001000000, "016200.001"},
        {"4.5 hours and 999 ms", 16200999000000, "016200.999"},
        {"seven digits of seconds", 1000000000000000, "1000000.000"},
        {"200 days and 123 ms", 17280000123000000, "17280000.123"},
        {"the largest count", UINT64_MAX, "18446744073.709"},
    };
    for (const auto& c : cases) {
        char text[64];
        const int length = FormatElapsedSeconds(c.nanoseconds, text, sizeof(text));
        EXPECT_EQ(std::string(text), c.text) << c.description;
        EXPECT_EQ(length, static_cast<int>(std::strlen(c.text))) << c.description;
    }
}

TEST(LogLineFormat, CutKeepsNewlineAndTerminator) {
    LogMessage m = Message(kLogWarn, 0, "abcdefghij");
    EXPECT_EQ(Render("#M", m, 6), "abcd\n");
    EXPECT_EQ(Render("#M", m, 2), "\n");
    EXPECT_EQ(Render("#M", m, 1), "");
}

TEST(LogGroups, FixedSlotsRegistrationAndMaskText) {
    LogGroupTable table;
    EXPECT_EQ(table.Bit("DBG"), kLogGroupDBG);
    EXPECT_EQ(table.Bit("TST"), kLogGroupTST);
    EXPECT_EQ(table.Bit("NETWORK"), kLogGroupNET);  // first three characters count
    EXPECT_EQ(table.Code(8), std::string("???"));
    const uint64_t first = table.Bit("QQA");
    EXPECT_EQ(first, 1ULL << 8);  // the first slot after the fixed ones
    EXPECT_EQ(table.Bit("QQA"), first);
    char text[64];
    EXPECT_EQ(table.MaskText(kLogGroupGEN | kLogGroupMEM | first, text, sizeof(text)), 11u);
    EXPECT_EQ(std::string(text), "GEN;MEM;QQA");
    EXPECT_EQ(table.Code(63), std::string("???"));
    EXPECT_EQ(table.Code(64), std::string(""));
    EXPECT_EQ(table.Code(-1), std::string(""));
}

TEST(LogGroups, MoreThan64CodesNeverOverrun) {
    LogGroupTable table;
    std::vector<uint64_t> bits;
    for (int i = 0; i < 70; ++i) {
        char code[4] = {'Z', static_cast<char>('A' + i / 26), static_cast<char>('A' + i % 26), '\0'};
        bits.push_back(table.Bit(code));
    }
    EXPECT_EQ(table.Bit("ZAA"), bits[0]);
    EXPECT_EQ(bits[0], 1ULL << 8);
    EXPECT_EQ(bits[55], 1ULL << 63);  // the last slot
    // Past the last slot a new code gets no group, and the same answer again.
    EXPECT_EQ(bits[56], 0u);
    EXPECT_EQ(bits.back(), 0u);
    EXPECT_EQ(table.Bit("ZCR"), 0u);
    EXPECT_EQ(table.Bit("ZCR"), 0u);
    EXPECT_EQ(std::string(table.Code(63)), "ZCD");
    // A fixed code is still found.
    EXPECT_EQ(table.Bit("XTR"), kLogGroupXTR);
}

TEST(LogGroups, TheModuleTableFindsTheFixedCodes) {
    EXPECT_EQ(LogGroupBit("DBG"), kLogGroupDBG);
    EXPECT_EQ(LogGroupBit("NETWORK"), kLogGroupNET);
    EXPECT_EQ(std::string(LogGroupCode(5)), "DSK");
    EXPECT_EQ(std::string(LogGroupCode(64)), "");
    char text[64];
    LogGroupMaskText(kLogGroupDBG | kLogGroupTST, text, sizeof(text));
    EXPECT_EQ(std::string(text), "DBG;TST");
}

TEST(FileNameTimestamp, HasNoColonsOrMilliseconds) {
    EXPECT_EQ(FileNameTimestamp(Platform::LocalTime{2024, 5, 1, 13, 2, 3, 4}), "2024-05-01T13-02-03");
}

}  // namespace
}  // namespace Vorn
