// The installer's wizard, worked page by page through window messages by WizardDriver.exe
// under Wine on a virtual display (ctest starts this program under xvfb-run).
#include <gtest/gtest.h>

#include <filesystem>

#include "InstallerKit.h"
#include "SfxResource.h"
#include "TestUtil.h"

namespace fs = std::filesystem;
using namespace InstallerKit;

namespace {

constexpr int Next = 1, Cancel = 2;  // IDOK (Next, Install, Finish) and IDCANCEL
constexpr int Installed = 0, Cancelled = 1, Damaged = 4;

using TSteps = std::vector<std::string>;

std::string Step(const std::string& verb, int control, const std::string& text = "") {
    return verb + " " + std::to_string(control) + (text.empty() ? "" : " " + text);
}

void Append(TSteps& steps, const TSteps& more) {
    steps.insert(steps.end(), more.begin(), more.end());
}

// Latin-1 (the language files' code page 1252 for these texts) from UTF-8.
std::string Latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size())
            out += static_cast<char>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F));
        else
            out += static_cast<char>(c);
    }
    return out;
}

// A German language file of the test's own that lacks the Back button's text: English must
// show instead.
const char* const GermanWithoutBack =
    "[Language]\r\nName=Deutsch\r\nCodePage=1252\r\n[Strings]\r\n"
    "Caption=Test-Installation von %s\r\nNext=Weiter (Test) >\r\nCancel=Abbruch (Test)\r\n"
    "WelcomeHeading=Grüß Gott\r\n"
    "ConfirmCancel=Wirklich abbrechen? (Test)\r\n";

// A value of the [Strings] of a language file, in UTF-8.
std::string LanguageText(const std::string& file, const std::string& key) {
    const std::string text = TestUtil::ReadFile(file);
    const size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return "<" + key + " is missing from " + file + ">";
    const size_t start = at + key.size() + 2;
    std::string value = text.substr(start, text.find_first_of("\r\n", start) - start);
    std::string utf8;
    for (char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (b >> 6));
            utf8 += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return utf8;
}

class WizardTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EndWizardWine(); }
    static void TearDownTestSuite() { EndWizardWine(); }
    void SetUp() override {
        const bool launcher = TestUtil::Env("KEST_XVFB_RUN").find("NOTFOUND") == std::string::npos;
        ASSERT_FALSE(TestUtil::Env("DISPLAY").empty())
            << "no display: "
            << (launcher ? "run this program under xvfb-run -a, as ctest does"
                         : "ctest runs this program under xvfb-run, which was not found when the "
                           "build was configured: run scripts/setup.sh, then configure again");
        Project.Title = "Kest Wizard Test";
        Project.Uninstall = false;
        TestUtil::WriteFile(Tmp.Path() + "in the way", "a file where a folder would be");
    }

    std::string Target() const { return Tmp.Path() + "Program Files/Kest App"; }

    // Runs Setup.exe with switches under the driver; the log joins the messages on failure.
    TRun Run(const TBuilt& built, const TSteps& steps, std::vector<std::string> switches = {},
             const std::string& locale = "C.UTF-8") {
        const std::string file = Tmp.Path() + "steps" + std::to_string(++Runs) + ".txt";
        std::string text;
        for (const std::string& s : steps) text += s + "\n";
        TestUtil::WriteFile(file, text);
        const std::string log = Tmp.Path() + "install" + std::to_string(Runs) + ".log";
        switches.push_back("/LOG=" + WinPath(log));
        TRun r = RunWizard(file, built.Exe, switches, locale);
        if (TestUtil::Exists(log)) r.Err += "\n--- install log:\n" + TestUtil::ReadFile(log);
        return r;
    }

    TSteps Welcome() const {
        return {Step("page", IDD_PAGE_WELCOME), Step("expect-text", 0, Project.Title + " Setup"),
                Step("expect-text", IDC_TEXT, Project.Title), Step("click", Next)};
    }
    // The folder page starts with DefaultDir; a folder that is no full path, or one that
    // cannot be created (a file of that name is in the way), is refused on the page; the space
    // on the drive follows the folder typed.
    TSteps Folder() const {
        return {Step("page", IDD_PAGE_FOLDER),
                Step("expect-text", IDC_FOLDER, "C:\\KestTest"),
                Step("expect-text", IDC_SPACE_NEEDED, "Space required"),
                Step("set", IDC_FOLDER, "Kest App"),
                Step("expect-text", IDC_SPACE_FREE, "Space available: unknown"),
                Step("click", Next),
                Step("expect-text", IDC_ERROR, "Enter the full path of a folder"),
                Step("page", IDD_PAGE_FOLDER),
                Step("set", IDC_FOLDER, WinPath(Tmp.Path() + "in the way/Kest App")),
                Step("click", Next),
                Step("expect-text", IDC_ERROR, "cannot be created or written"),
                Step("page", IDD_PAGE_FOLDER),
                Step("set", IDC_FOLDER, WinPath(Target())),
                Step("expect-text", IDC_SPACE_FREE, "Space available: "),
                Step("expect-no-text", IDC_SPACE_FREE, "unknown"),
                Step("click", Next)};
    }
    static TSteps Finish(const std::string& text) {
        return {Step("page", IDD_PAGE_FINISH), Step("expect-text", IDC_TEXT, text),
                Step("click", Next)};
    }

    void ExpectInstalled(const std::vector<TFile>& files) {
        auto installed = Snapshot(Target());
        for (const TFile& f : files) {
            const auto it = installed.find(f.Name);
            ASSERT_NE(it, installed.end()) << f.Name;
            EXPECT_TRUE(it->second == f.Bytes) << f.Name << " differs";
        }
    }

    TestUtil::TempDir Tmp;
    TProject Project;
    int Runs = 0;
};

std::vector<TFile> Tree() {
    return {{"empty.txt", ""},
            {"Sub Dir/readme.txt", "Read me.\r\n"},
            {"Sub Dir/Deeper/data.bin", Bytes(300000, 2)},
            {"big.bin", Bytes(2 << 20, 3)}};
}

// Every page in turn (Escape answered "no", Enter, Back and on again on the way): a package
// with a license, and protected ones, where a wrong password, typed or given with /PASSWORD=,
// is refused on the page, and a right one given with /PASSWORD= leaves the page out.
TEST_F(WizardTest, EveryPageLeadsToTheInstalledFiles) {
    struct TCase {
        const char* Name;
        std::string License, Password;
        std::string Given;  // the password of /PASSWORD=, if any
    };
    const TCase cases[] = {
        {"license", "The license terms of the test.\r\n", "", ""},
        {"password typed", "", "s3cret pw", ""},
        {"wrong /PASSWORD=", "", "s3cret pw", "wrong"},
        {"right /PASSWORD=", "", "s3cret pw", "s3cret pw"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(Target());
        Project.Data = Tree();
        Project.Password = c.Password;
        Project.Presetup.clear();
        Project.KestIniExtra.clear();
        if (!c.License.empty()) {
            Project.Presetup = {{"License.txt", c.License}};
            Project.KestIniExtra = "License=License.txt\r\n";
        }
        const TBuilt built = Build(Tmp.Path() + "p" + std::to_string(&c - cases), Project);
        std::vector<std::string> switches;
        if (!c.Given.empty()) switches.push_back("/PASSWORD=" + c.Given);
        const bool asks = !c.Password.empty() && c.Given != c.Password;
        const int afterWelcome = !c.License.empty() ? IDD_PAGE_LICENSE
                                 : asks             ? IDD_PAGE_PASSWORD
                                                    : IDD_PAGE_FOLDER;
        const int beforeFolder = asks                 ? IDD_PAGE_PASSWORD
                                 : !c.License.empty() ? IDD_PAGE_LICENSE
                                                      : IDD_PAGE_WELCOME;

        // Escape asks before it cancels; Enter goes on.
        TSteps steps = {Step("page", IDD_PAGE_WELCOME), "key escape", "confirm no",
                        Step("page", IDD_PAGE_WELCOME), "key enter",  Step("page", afterWelcome),
                        Step("click", IDC_BACK)};
        Append(steps, Welcome());
        if (!c.License.empty())
            Append(steps, {Step("page", IDD_PAGE_LICENSE),
                           Step("expect-text", IDC_LICENSE, "license terms of the test"),
                           Step("expect-disabled", Next), Step("check", IDC_ACCEPT),
                           Step("expect-enabled", Next), Step("click", Next)});
        if (asks) {
            steps.push_back(Step("page", IDD_PAGE_PASSWORD));
            if (c.Given.empty())
                Append(steps, {Step("set", IDC_PASSWORD, "wrong"), Step("click", Next)});
            Append(steps, {Step("expect-text", IDC_ERROR, "The password is wrong"),
                           Step("page", IDD_PAGE_PASSWORD), Step("set", IDC_PASSWORD, c.Password),
                           Step("click", Next)});
        }
        // Back from the folder page and on again keeps what was entered.
        Append(steps, {Step("page", IDD_PAGE_FOLDER), Step("click", IDC_BACK),
                       Step("page", beforeFolder), Step("click", Next)});
        Append(steps, Folder());
        Append(steps, Finish("has been installed"));
        const TRun r = Run(built, steps, switches);
        EXPECT_EQ(r.Code, Installed) << r.Err;
        ExpectInstalled(Project.Data);
    }
}

// Cancel on the progress page, confirmed: the finish page says so and the target stays empty.
TEST_F(WizardTest, CancelDuringTheInstallationLeavesNothing) {
    // Enough files that the progress page lasts several seconds (about 5 ms a file under
    // Wine), so that the cancel comes after some files are written and before the last.
    for (unsigned i = 0; i < 1500; ++i)
        Project.Data.push_back({"Files/file" + std::to_string(i) + ".bin", Bytes(8 << 10, i)});
    const TBuilt built = Build(Tmp.Path() + "big", Project);
    TSteps steps = Welcome();
    Append(steps, Folder());
    Append(steps, {Step("page", IDD_PAGE_PROGRESS), "sleep 1000",
                   Step("expect-text", IDC_FILE, "Installing Files\\file"), Step("click", Cancel),
                   "confirm yes"});
    Append(steps, Finish("cancelled"));
    const TRun r = Run(built, steps);
    EXPECT_EQ(r.Code, Cancelled) << r.Err;
    EXPECT_FALSE(fs::exists(Target())) << r.Err;
}

// A volume that is missing is asked for (Retry asks again, Cancel gives up); a damaged one
// fails the installation, told on the finish page. Either way nothing is left.
TEST_F(WizardTest, VolumeMissingOrDamagedEndsOnTheFinishPage) {
    struct TCase {
        const char* Name;
        bool Remove;  // else one byte of the volume flipped
        TSteps Answers;
        std::vector<std::string> Finish;
        int Code;
    };
    const TCase cases[] = {
        {"missing", true, {"confirm retry", "confirm cancel"}, {"cancelled"}, Cancelled},
        {"damaged", false, {}, {"The installation failed", "damaged or incomplete"}, Damaged},
    };
    Project.Data = Tree();
    Project.VolumeSize = "200K";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBuilt built = Build(Tmp.Path() + c.Name, Project);
        const std::string volume = built.Dir + "/Setup.3";
        ASSERT_TRUE(fs::exists(volume));
        if (c.Remove) {
            fs::remove(volume);
        } else {
            std::string bytes = TestUtil::ReadFile(volume);
            bytes[bytes.size() / 2] ^= 0x20;
            TestUtil::WriteFile(volume, bytes);
        }
        TSteps steps = Welcome();
        Append(steps, Folder());
        Append(steps, c.Answers);
        steps.push_back(Step("page", IDD_PAGE_FINISH));
        for (const std::string& text : c.Finish)
            steps.push_back(Step("expect-text", IDC_TEXT, text));
        steps.push_back(Step("click", Next));
        const TRun r = Run(built, steps);
        EXPECT_EQ(r.Code, c.Code) << r.Err;
        if (c.Remove) {
            EXPECT_NE(r.Err.find("Insert the disk that holds"), std::string::npos) << r.Err;
            EXPECT_NE(r.Err.find("Setup.3"), std::string::npos) << r.Err;
        }
        EXPECT_FALSE(fs::exists(Target())) << r.Err;
    }
}

// The language of the texts: chosen with /LANG= or on the language page when the package
// carries more than one; a key that the chosen file lacks shows the English text.
TEST_F(WizardTest, TextsComeFromTheChosenLanguage) {
    const std::string shipped = TestUtil::Env("KEST_SOURCE_DIR") + "/runtime/Presetup/DEU.lng";
    struct TShown {
        std::string Caption, Heading, Next, Back, Cancel, Confirm;
    };
    const std::string title = Project.Title;
    const TShown shippedTexts = {
        "Installation von " + title,     LanguageText(shipped, "WelcomeHeading"),
        LanguageText(shipped, "Next"),   LanguageText(shipped, "Back"),
        LanguageText(shipped, "Cancel"), LanguageText(shipped, "ConfirmCancel")};
    const TShown ownTexts = {"Test-Installation von " + title,
                             "Grüß Gott",
                             "Weiter (Test) >",
                             "< &Back",
                             "Abbruch (Test)",
                             "Wirklich abbrechen? (Test)"};
    const std::vector<TFile> own = {{"DEU.lng", Latin1(GermanWithoutBack)}};
    // The language page preselects the user's language, else English.
    const TSteps chooseGerman = {Step("page", IDD_PAGE_LANGUAGE),
                                 Step("expect-text", IDC_LANGUAGE, "English"),
                                 Step("select", IDC_LANGUAGE, "Deutsch"), Step("click", Next)};
    const TSteps germanPreselected = {Step("page", IDD_PAGE_LANGUAGE),
                                      Step("expect-text", IDC_LANGUAGE, "Deutsch"),
                                      Step("click", Next)};
    struct TCase {
        const char* Name;
        std::vector<TFile> Presetup;
        std::vector<std::string> Switches;
        std::string Locale;
        TSteps LanguagePage;
        TShown Shown;
    };
    const TCase cases[] = {
        {"shipped DEU.lng, /LANG=DEU", {}, {"/LANG=DEU"}, "C.UTF-8", {}, shippedTexts},
        {"own DEU.lng, /LANG=DEU", own, {"/LANG=DEU"}, "C.UTF-8", {}, ownTexts},
        {"own DEU.lng, chosen on the page", own, {}, "C.UTF-8", chooseGerman, ownTexts},
        {"own DEU.lng, a German user", own, {}, "de_DE.UTF-8", germanPreselected, ownTexts},
    };
    Project.Data = {{"a.txt", "a"}};
    Project.Languages = "ENU,DEU";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Project.Presetup = c.Presetup;
        const TBuilt built = Build(Tmp.Path() + "p" + std::to_string(&c - cases), Project);
        const TShown& t = c.Shown;
        TSteps steps = c.LanguagePage;
        Append(steps,
               {Step("page", IDD_PAGE_WELCOME), Step("expect-text", 0, t.Caption),
                Step("expect-text", IDC_HEADING, t.Heading), Step("expect-text", Next, t.Next),
                Step("expect-text", IDC_BACK, t.Back), Step("expect-text", Cancel, t.Cancel),
                Step("click", Cancel), "confirm yes"});
        const TRun r = Run(built, steps, c.Switches, c.Locale);
        EXPECT_EQ(r.Code, Cancelled) << r.Err;
        EXPECT_NE(r.Err.find(t.Confirm), std::string::npos) << r.Err;
        EXPECT_FALSE(fs::exists(Target()));
    }
}

}  // namespace
