#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QTest>
#include <QToolButton>

#include "app/settings.h"
#include "app/controls.h"
#include "app/data_box.h"
#include "app/panel.h"
#include "app/view_options.h"
#include "gui_harness.h"

namespace kf::test {
namespace {

TEST(Settings, FirstRunTakesEveryDefault) {
    Harness h;
    const ui::EditorState& s = h.state();
    EXPECT_TRUE(h.parts().view->toolBarVisible());
    EXPECT_TRUE(h.parts().view->dataBoxAtBottom());
    EXPECT_TRUE(h.session().preview());
    EXPECT_TRUE(s.autoPreview);
    EXPECT_EQ(s.options.midiPort, -1);
    EXPECT_EQ(h.parts().panel->velocity(), 127);
    EXPECT_EQ(s.options.fileType, 1);
    EXPECT_EQ(s.options.useMap, 1);
    EXPECT_TRUE(s.options.comment);
    EXPECT_FALSE(s.options.autoSave);
    EXPECT_TRUE(h.settings().allKeys().isEmpty()) << "nothing is written before the exit";
}

TEST(Settings, UnreadableHexAndOutOfRangeValues) {
    HarnessOptions o;
    o.settings = {{"ToolBar", "0x0"},  {"NameBar", "abc"},       {"StatusBar", "0X1"}, {"Velocity", "300"},
                  {"MidiPort", "2"},   {"Use Map", "5"},         {"Init Command", "7"}, {"Directory", "/no/such/dir"},
                  {"FileType", "0x3"}, {"DataBoxPos", "0"},      {"Drum Set", "264"},  {"Comment", " 0"}};
    Harness h(o);
    EXPECT_FALSE(h.parts().view->toolBarVisible());
    EXPECT_TRUE(h.parts().view->nameBarVisible());
    EXPECT_TRUE(h.parts().view->statusBarVisible());
    EXPECT_FALSE(h.parts().view->dataBoxAtBottom());
    EXPECT_EQ(h.parts().panel->velocity(), 127);
    EXPECT_EQ(h.state().options.midiPort, -1) << "two devices: 2 is one too many";
    EXPECT_EQ(h.state().options.useMap, 2);
    EXPECT_EQ(h.state().options.initCommand, 0);
    EXPECT_TRUE(h.state().options.directory.isEmpty());
    EXPECT_EQ(h.state().options.fileType, 3);
    EXPECT_FALSE(h.state().options.comment);
    EXPECT_EQ(h.parts().dataBox->mapList()->currentText(), "  88 ROOM");
    h.window().FormDestroy();
    QSettings& st = h.settings();
    EXPECT_EQ(st.value("ToolBar").toString(), "0");
    EXPECT_EQ(st.value("Use Map").toString(), "2");
    EXPECT_EQ(st.value("Init Command").toString(), "0");
    EXPECT_EQ(st.value("Velocity").toString(), "127");
    EXPECT_EQ(st.value("Drum Set").toString(), "264");
    EXPECT_EQ(st.value("Directory").toString(), "");
    EXPECT_EQ(st.value("DataBoxPos").toString(), "0");
    EXPECT_EQ(st.value("MidiInPort").toString(), "-1");
    EXPECT_EQ(st.value("VerifyAfterSend").toString(), "0");
    EXPECT_EQ(st.value("SelectByInput").toString(), "0");
    EXPECT_EQ(st.allKeys().size(), 33);
}

TEST(Settings, InitCommandIsSentAtStartWhilePreviewIsOn) {
    HarnessOptions o;
    o.settings = {{"Init Command", "1"}, {"MidiPort", "1"}};
    Harness h(o);
    const auto sent = h.takeSent();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], "F0 41 10 42 12 40 1A 15 02 0F F7");
    EXPECT_EQ(sent[1], "F0 41 10 42 12 40 00 7F 00 41 F7");
    EXPECT_EQ(sent[2], "F0 41 10 42 12 40 1A 15 02 0F F7");
    EXPECT_EQ(h.midi().opened, (std::vector<int>{1}));
    HarnessOptions off;
    off.settings = {{"Init Command", "7"}, {"Preview", "0"}};
    Harness quiet(off);
    EXPECT_TRUE(quiet.takeSent().empty());
    EXPECT_EQ(quiet.state().options.initCommand, 7) << "kept while preview is off";
}

TEST(Settings, PartSendsFollowTheRhythmPartAtStartAndAfterTheStartCommand) {
    HarnessOptions o;
    o.settings = {{"Init Command", "1"}, {"PartChorus", "64"}, {"PartReverb", "40"}, {"PartDelay", "300"}};
    Harness h(o);
    const std::string rhythm = "F0 41 10 42 12 40 1A 15 02 0F F7";
    const std::vector<std::string> sends{"B9 5D 40", "B9 5E 7F", "BA 5D 40", "BA 5E 7F"};
    std::vector<std::string> expected{rhythm};
    expected.insert(expected.end(), sends.begin(), sends.end());
    expected.push_back("F0 41 10 42 12 40 00 7F 00 41 F7");
    expected.push_back(rhythm);
    expected.insert(expected.end(), sends.begin(), sends.end());
    auto sent = h.takeSent();
    ASSERT_GE(sent.size(), expected.size());
    sent.resize(expected.size());  // then the window's own set-up
    EXPECT_EQ(sent, expected);
    h.window().FormDestroy();
    EXPECT_EQ(h.settings().value("PartChorus").toString(), "64");
    EXPECT_EQ(h.settings().value("PartDelay").toString(), "127");
    EXPECT_EQ(h.settings().value("PartReverb").toString(), "40");
}

TEST(Settings, RoundTrip) {
    QTemporaryDir dir;
    HarnessOptions o;
    o.settings = {{"Directory", dir.path()}, {"AutoSave", "1"}, {"Increment", "1"}, {"Velocity", "0x40"},
                  {"In Screen", "1"},        {"Maximized", "1"}, {"AutoPreview", "0"}};
    Harness h(o);
    EXPECT_EQ(h.parts().panel->velocity(), 64);
    EXPECT_TRUE(h.window().windowState() & Qt::WindowMaximized);
    h.window().FormDestroy();
    QSettings& st = h.settings();
    EXPECT_EQ(st.value("Directory").toString(), dir.path());
    EXPECT_EQ(st.value("Velocity").toString(), "64");
    EXPECT_EQ(st.value("AutoSave").toString(), "1");
    EXPECT_EQ(st.value("Increment").toString(), "1");
    EXPECT_EQ(st.value("In Screen").toString(), "1");
    EXPECT_EQ(st.value("Maximized").toString(), "1");
    EXPECT_EQ(st.value("AutoPreview").toString(), "0");
    EXPECT_EQ(st.value("Drum Set").toString(), "256");
    EXPECT_EQ(st.value("ShowLibrary").toString(), "0");
    EXPECT_EQ(st.value("LibraryFolders").toString(), QDir::cleanPath(dir.path())) << "the default directory first";
}

TEST(Settings, ThePresetSetAndVelocityChosenByHandComeBackAtTheNextStart) {
    QTemporaryDir dir;
    HarnessOptions o;
    o.settingsFile = dir.path() + "/settings.ini";
    o.settings = {{"Drum Set", "264"}};
    QString shown;
    {
        Harness h(o);
        QTest::keyClick(h.parts().dataBox->mapList(), Qt::Key_Down);
        shown = h.parts().dataBox->mapList()->currentText();
        ASSERT_NE(shown, "  88 ROOM");
        QTest::mouseClick(h.parts().panel->velocityUpDown()->findChildren<QToolButton*>()[1], Qt::LeftButton);
        ASSERT_EQ(h.parts().panel->velocity(), 126);
        h.window().FormDestroy();
    }
    o.settings.clear();
    Harness next(o);
    EXPECT_EQ(next.parts().dataBox->mapList()->currentText(), shown);
    EXPECT_EQ(next.parts().panel->velocity(), 126);
}

TEST(Settings, AStoreThatCannotBeWrittenIsReportedWithItsPath) {
    QTemporaryDir dir;
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    HarnessOptions o;
    o.settingsFile = dir.path() + "/file/settings.ini";  // a folder that is a file: never written
    Harness h(o);
    ASSERT_TRUE(h.dialogs().shown.empty());
    h.window().FormDestroy();
    ASSERT_EQ(h.dialogs().shown.size(), 1u);
    EXPECT_EQ(h.dialogs().shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(h.dialogs().shown[0].text, QStringLiteral("ﾌｧｲﾙ %1 を作成できません").arg(QDir::toNativeSeparators(o.settingsFile)));
}

TEST(Settings, AFileOfRandomBytesIsWrittenBackCleanWithoutAnErrorBox) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings.ini";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        std::string noise(64 * 1024, '\0');
        unsigned x = 12345;
        for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
        f.write(noise.data(), static_cast<qint64>(noise.size()));
    }
    HarnessOptions o;
    o.settingsFile = path;
    Harness h(o);
    h.window().FormDestroy();
    EXPECT_TRUE(h.dialogs().shown.empty()) << "the file was written: no box says it was not";
    QSettings back(path, QSettings::IniFormat);
    EXPECT_EQ(back.allKeys().size(), 33) << "only the program's own keys";
    EXPECT_EQ(back.value("Velocity").toString(), "127");
}

}  // namespace
}  // namespace kf::test
