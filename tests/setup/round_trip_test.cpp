// The whole way a user goes: package the build, install it unattended into a temporary folder,
// render a demo song with the installed tmw-cli, and remove everything again with the installed
// tmuninst.
#include "setup/core/registration.h"
#include "setup_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace tunemill::setup {
namespace {

using namespace testing;

const fs::path BIN = TUNEMILL_BIN_DIR;
const fs::path SOURCE = TUNEMILL_SOURCE_DIR;

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome run(const std::string& command) {
    Outcome result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

class RoundTrip : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* program : {"setup", "tmuninst", "setup_archive", "tmw-cli"})
            if (!fs::exists(BIN / program)) GTEST_SKIP() << program << " is not built";
        // Small volumes, so the package really spans several of them.
        const Outcome package = run(quoted(SOURCE / "setup" / "package.sh") + " " +
                                    quoted(BIN.parent_path()) + " " + quoted(dist_) + " 300000");
        ASSERT_EQ(package.status, 0) << package.output;
    }

    TemporaryHome home_;
    fs::path dist_ = home_.root() / "dist";
    fs::path folder_ = home_.root() / "installed" / "Tunemill";
    fs::path bin_ = home_.home() / ".local" / "bin";
};

TEST_F(RoundTrip, PackageInstallRunAndUninstall) {
    ASSERT_TRUE(fs::exists(dist_ / "setup"));
    ASSERT_TRUE(fs::exists(dist_ / "data.idx"));
    ASSERT_TRUE(fs::exists(dist_ / "data.002"));

    const Outcome install =
        run(quoted(dist_ / "setup") + " --unattended --user --folder " + quoted(folder_));
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_NE(install.output.find("Copying " + (folder_ / "tmw-cli").string()), std::string::npos)
        << install.output;
    EXPECT_NE(install.output.find("Setup completed"), std::string::npos) << install.output;
    EXPECT_TRUE(fs::exists(bin_ / "tmuninst"));

    // The installed command-line program runs from its new place, also through its launcher.
    const Outcome version = run(quoted(folder_ / "tmw-cli") + " --version");
    EXPECT_EQ(version.status, 0) << version.output;
    EXPECT_FALSE(version.output.empty());
    const Outcome launched = run(quoted(bin_ / "tmw-cli") + " --version");
    EXPECT_EQ(launched.status, 0) << launched.output;
    EXPECT_EQ(launched.output, version.output);
    EXPECT_TRUE(fs::exists(home_.root() / "usr" / "share" / "applications" / "Tunemill" /
                           "Tunemill.desktop"));

    // The installed tmw-cli plays a demo song with the installed stock bank: the whole render
    // of it is a WAV file of sound, not silence.
    ASSERT_TRUE(fs::exists(folder_ / "demos" / "first-steps.sn2"));
    const fs::path wav = home_.root() / "first-steps.wav";
    const Outcome render = run(quoted(bin_ / "tmw-cli") + " render --rate 11025 " +
                               quoted(folder_ / "demos" / "first-steps.sn2") + " " + quoted(wav));
    ASSERT_EQ(render.status, 0) << render.output;
    const std::string rendered = read_all(wav);
    ASSERT_GT(rendered.size(), 44u + 11025u * 4 * 30) << "less than 30 s of stereo sound";
    EXPECT_EQ(rendered.compare(0, 4, "RIFF"), 0);
    EXPECT_NE(rendered.find_first_not_of('\0', 44), std::string::npos);
    // The help of both languages lies where the composer and the menu entry look for it.
    for (const char* page :
         {"help/en/index.html", "help/de/index.html", "help/en/menus.html", "help/style.css"})
        EXPECT_TRUE(fs::exists(folder_ / page)) << page;

    const Outcome removal = run(quoted(bin_ / "tmuninst") + " --unattended");
    EXPECT_EQ(removal.status, 0) << removal.output;
    EXPECT_FALSE(fs::exists(folder_)); // the help and demo folders too
    EXPECT_FALSE(fs::is_symlink(bin_ / "tmw-cli"));
    EXPECT_FALSE(fs::exists(home_.root() / "usr" / "share" / "applications" / "Tunemill"));
    EXPECT_FALSE(
        fs::exists(home_.home() / ".local" / "share" / "mime" / "packages" / "tunemill.xml"));
    const RegistryTree tree = RegistryStore(RegistryRoot::CURRENT_USER).read();
    EXPECT_FALSE(tree.has_key(PRODUCT_KEY));
    EXPECT_TRUE(tree.subkeys("").empty());
    // The running uninstaller removed its own file last: nothing of the program is left.
    EXPECT_FALSE(fs::exists(bin_ / "tmuninst"));
    EXPECT_FALSE(fs::exists(bin_ / "tmw"));
}

TEST_F(RoundTrip, AMissingVolumeCancelsAndADamagedOneRegistersNothing) {
    fs::rename(dist_ / "data.002", dist_ / "moved-away");
    Outcome install =
        run(quoted(dist_ / "setup") + " --unattended --user --folder " + quoted(folder_));
    EXPECT_EQ(install.status, 1) << install.output;
    EXPECT_NE(install.output.find("Insert Tunemill disk #2"), std::string::npos) << install.output;
    EXPECT_NE(install.output.find("Setup aborted"), std::string::npos) << install.output;
    EXPECT_FALSE(fs::exists(folder_));

    // The last bytes of the archive belong to the last file: damage them.
    fs::rename(dist_ / "moved-away", dist_ / "data.002");
    fs::path last;
    for (int i = 1; fs::exists(dist_ / volume_name(uint32_t(i))); ++i)
        last = dist_ / volume_name(uint32_t(i));
    std::string volume = read_all(last);
    volume.back() = char(volume.back() ^ 0x40);
    write_all(last, volume);
    install = run(quoted(dist_ / "setup") + " --unattended --user --folder " + quoted(folder_));
    EXPECT_EQ(install.status, 1) << install.output;
    EXPECT_NE(install.output.find("Files on the setup disk are damaged"), std::string::npos)
        << install.output;
    EXPECT_FALSE(RegistryStore(RegistryRoot::CURRENT_USER).read().has_key(PRODUCT_KEY));
    EXPECT_FALSE(fs::exists(folder_));
}

TEST_F(RoundTrip, UsageErrorsExitWithTwo) {
    const Outcome wrong = run(quoted(dist_ / "setup") + " --no-such-option");
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.output.find("usage: setup"), std::string::npos);
}

} // namespace
} // namespace tunemill::setup
