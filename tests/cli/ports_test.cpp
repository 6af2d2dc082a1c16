// `orvane-cli ports --json` and `--long` on a pseudo-terminal this test holds open, and the
// busy port's message naming its holder.
#include "cli_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

namespace orvane::test {
namespace {

// The slave side of a fresh pseudo-terminal, held open (and locked, when asked) by this process.
class HeldTerminal {
  public:
    HeldTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            path_ = ::ptsname(master_);
            slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~HeldTerminal() {
        for (const int fd : {slave_, master_})
            if (fd >= 0)
                ::close(fd);
    }
    HeldTerminal(const HeldTerminal&) = delete;
    HeldTerminal& operator=(const HeldTerminal&) = delete;
    bool ok() const { return slave_ >= 0; }
    bool lock() const { return ::flock(slave_, LOCK_EX | LOCK_NB) == 0; }
    const std::string& path() const { return path_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

TEST(CliPorts, JsonLinesCarryEveryKey) {
    HeldTerminal terminal;
    ASSERT_TRUE(terminal.ok());
    // A port named that is not there fails the command, as it would an upgrade.
    const CliResult named = runCli({"ports", "--json", terminal.path(), "ttyNOPE9"});
    ASSERT_EQ(named.exitCode, 3) << named.err;
    const CliResult all = runCli({"ports", "--json"});
    ASSERT_EQ(all.exitCode, 0) << all.err;

    std::vector<QJsonObject> objects;
    for (const std::string& line : linesOf(named.out + all.out)) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
        ASSERT_TRUE(document.isObject()) << line;
        if (document.object()["event"] == "port") {
            objects.push_back(document.object());
        }
    }
    ASSERT_GE(objects.size(), 2u);
    for (const QJsonObject& object : objects) {
        for (const char* key : {"name", "path", "byId", "driver", "vid", "pid", "manufacturer", "product",
                                "serial", "latencyTimerMs", "access", "holder", "holders"})
            EXPECT_TRUE(object.contains(key)) << key;
    }
    EXPECT_EQ(objects[0]["path"].toString().toStdString(), terminal.path());
    EXPECT_EQ(objects[0]["access"].toString(), "ok");
    EXPECT_EQ(objects[0]["holder"].toObject()["pid"].toInt(), ::getpid());
    EXPECT_EQ(objects[0]["holder"].toObject()["command"].toString(), "cli_test");
    ASSERT_EQ(objects[0]["holders"].toArray().size(), 1);
    EXPECT_EQ(objects[0]["holders"].toArray()[0].toObject()["pid"].toInt(), ::getpid());
    EXPECT_TRUE(objects[1]["holders"].toArray().isEmpty());
    EXPECT_TRUE(objects[0]["vid"].isNull());
    EXPECT_EQ(objects[1]["access"].toString(), "no such device");
    EXPECT_TRUE(objects[1]["holder"].isNull());

    const CliResult table = runCli({"ports", "--long", terminal.path()});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    const auto rows = linesOf(table.out);
    ASSERT_EQ(rows.size(), 2u) << table.out;
    EXPECT_EQ(rows[0].rfind("PORT", 0), 0u);
    EXPECT_NE(rows[1].find("held by cli_test (" + std::to_string(::getpid()) + ")"), std::string::npos)
        << rows[1];
    EXPECT_NE(rows[1].find("busy, held by"), std::string::npos) << rows[1];

    EXPECT_EQ(runCli({"ports", terminal.path()}).exitCode, 2); // names need a form
}

TEST(CliPorts, BusyPortNamesItsHolder) {
    HeldTerminal terminal;
    ASSERT_TRUE(terminal.ok());
    ASSERT_TRUE(terminal.lock());
    const CliResult result = runCli({"ptz", "left", "--port", terminal.path()});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("the port is held by cli_test (pid " + std::to_string(::getpid()) +
                              "): close it there first"),
              std::string::npos)
        << result.err;
}

} // namespace
} // namespace orvane::test
