// The job's log calls, replayed as the job makes them, must come out as each line once: the
// progress line per whole percent (a re-sent block adds nothing), the last progress line not
// repeated when it moves into the log, and the outcome recognised for the exit status.
#include "captured_streams.h"
#include "event_log.h"
#include "output/job_log_printer.h"
#include "upgrade/upgrade_job.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace orvane {
namespace {

constexpr std::uint32_t length = 3000;

UpgradeProgress block(unsigned percent, std::uint32_t number, bool resend = false) {
    return {percent, (number - 1) * 1024, length, number, 3, resend};
}

// The calls of a job whose blocks 1 to 3 go out, block 2 twice, up to the EndFrame's answer.
std::string sendBlocks(JobLogPrinter& log) {
    log.replaceLog("Start\r\n");
    log.appendLog("Send Command successful !\r\n");
    std::string shown;
    const std::pair<unsigned, std::uint32_t> sent[] = {{0, 1}, {34, 2}, {34, 2}, {68, 3}};
    bool again = false;
    for (const auto& [percent, number] : sent) {
        shown = log.showWithLog(progressText(percent, TextLanguage::English));
        log.progress(block(percent, number, again && number == 2));
        again = number == 2;
    }
    return shown;
}

TEST(JobLogPrinter, PlainSuccessPrintsEachLineOnce) {
    Capture capture;
    Console console(OutputMode::Plain, capture.out(), capture.err());
    JobLogPrinter log(console);
    sendBlocks(log);
    const std::string last = log.showWithLog(progressText(100, TextLanguage::English));
    log.progress({100, length, length, 3, 3, false});
    log.replaceLog(last + "Update was successful !\r\n");
    log.finish();

    EXPECT_EQ(capture.outText(), "Start\n"
                                 "Send Command successful !\n"
                                 "Send updated datas  progress:0%\n"
                                 "Send updated datas  progress:34%\n"
                                 "Send updated datas  progress:68%\n"
                                 "Send updated datas  progress:100%\n"
                                 "Update was successful !\n");
    EXPECT_EQ(capture.errText(), "");
    EXPECT_EQ(log.lastLine(), "Update was successful !");
}

TEST(JobLogPrinter, FailureDuringBlocksKeepsOneProgressLineAndSaysWhyOnStandardError) {
    Capture capture;
    Console console(OutputMode::Plain, capture.out(), capture.err());
    JobLogPrinter log(console);
    const std::string progressLine = sendBlocks(log);
    log.replaceLog(progressLine);
    log.reason("Block 3 of 3 unanswered for 10 s");
    log.appendLog("Update was failed !\r\n");

    const std::string out = capture.outText();
    EXPECT_EQ(out.find("progress:68%"), out.rfind("progress:68%"));
    EXPECT_NE(out.find("progress:68%\nUpdate was failed !\n"), std::string::npos) << out;
    EXPECT_EQ(capture.errText(), "Block 3 of 3 unanswered for 10 s\n");
}

TEST(JobLogPrinter, JsonGivesOneEventPerCallAndNoProgressText) {
    Capture capture;
    Console console(OutputMode::Json, capture.out(), capture.err());
    JobLogPrinter log(console, PortTag{"/dev/ttyUSB0"});
    sendBlocks(log);
    log.reason("said in the result event");
    log.appendLog("Update was failed !\r\n");

    const std::string out = capture.outText();
    test::keepEvents(out);
    std::vector<std::string> events;
    for (const std::string& line : splitLines(out)) {
        events.push_back(test::stableEvent(line));
    }
    EXPECT_EQ(events, (std::vector<std::string>{
                          R"({"event":"log","port":"/dev/ttyUSB0","text":"Start"})",
                          R"({"event":"log","port":"/dev/ttyUSB0","text":"Send Command successful !"})",
                          R"({"event":"progress","port":"/dev/ttyUSB0","percent":0,"block":1,"blocks":3,)"
                          R"("offset":0,"length":3000,"resend":false})",
                          R"({"event":"progress","port":"/dev/ttyUSB0","percent":34,"block":2,"blocks":3,)"
                          R"("offset":1024,"length":3000,"resend":false})",
                          R"({"event":"progress","port":"/dev/ttyUSB0","percent":34,"block":2,"blocks":3,)"
                          R"("offset":1024,"length":3000,"resend":true})",
                          R"({"event":"progress","port":"/dev/ttyUSB0","percent":68,"block":3,"blocks":3,)"
                          R"("offset":2048,"length":3000,"resend":false})",
                          R"({"event":"log","port":"/dev/ttyUSB0","text":"Update was failed !"})"}));
    EXPECT_EQ(capture.errText(), "");
}

TEST(JobLogPrinter, TerminalDrawsTheBarOnStandardErrorOnly) {
    Capture capture;
    Console console(OutputMode::Terminal, capture.out(), capture.err());
    JobLogPrinter log(console);
    sendBlocks(log);
    log.appendLog("Update was failed !\r\n");

    EXPECT_EQ(capture.outText(), "Start\nSend Command successful !\nUpdate was failed !\n");
    const std::string err = capture.errText();
    EXPECT_NE(err.find("\r[####################----------]  68%  2/3 blocks"), std::string::npos) << err;
    EXPECT_EQ(err.back(), '\n'); // the bar is closed before the outcome is printed
}

// A camera refusing a block again and again must not look like a hung bar: the bar says so,
// plain output says so on standard error (not once per refusal), a named camera's lines too.
TEST(JobLogPrinter, RefusalsAreShownOnStandardError) {
    for (const OutputMode mode : {OutputMode::Terminal, OutputMode::Plain}) {
        for (const std::string port : {"", "ttyUSB1"}) {
            Capture capture;
            Console console(mode, capture.out(), capture.err());
            JobLogPrinter log(console, PortTag{port, !port.empty()});
            for (std::uint32_t refusals = 0; refusals <= 3; ++refusals) {
                UpgradeProgress progress = block(34, 2, refusals > 0);
                progress.refusals = refusals;
                log.progress(progress);
            }
            log.finish();
            const std::string err = capture.errText();
            const std::string prefix = port.empty() ? "" : "[" + port + "] ";
            const std::string first = prefix + "block 2 refused, sending again (1)";
            const std::string third = "block 2 refused, sending again (3)";
            EXPECT_NE(err.find(mode == OutputMode::Terminal ? third : first), std::string::npos) << err;
            if (mode == OutputMode::Plain) {
                EXPECT_EQ(err, first + "\n");
            } else {
                EXPECT_NE(err.find("\r" + prefix + "["), std::string::npos) << err;
            }
            EXPECT_EQ(capture.outText(), "");
        }
    }
}

// The adapter's latency hint names its camera like every other line and event of it.
TEST(JobLogPrinter, AdviceNamesThePortOfOneOfSeveral) {
    for (const OutputMode mode : {OutputMode::Plain, OutputMode::Json}) {
        Capture capture;
        Console console(mode, capture.out(), capture.err());
        JobLogPrinter log(console, PortTag{"/dev/ttyUSB1", true});
        log.advice("lower the latency timer");
        if (mode == OutputMode::Json) {
            test::keepEvents(capture.outText());
            EXPECT_EQ(test::stableEvent(capture.outText()),
                      R"({"event":"advice","port":"/dev/ttyUSB1","text":"lower the latency timer"})");
            EXPECT_EQ(capture.errText(), "");
        } else {
            EXPECT_EQ(capture.errText(), "[ttyUSB1] lower the latency timer\n");
            EXPECT_EQ(capture.outText(), "");
        }
    }
}

} // namespace
} // namespace orvane
