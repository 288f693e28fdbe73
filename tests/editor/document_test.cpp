// The document on its own: what each change does to the undo, the clipboard, the modified
// flag and the file's name.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "editor/document.h"
#include "model/parameters.h"

namespace kf::test {
namespace {

using ui::Document;

Document withKick() {
    Document d;
    Kit kit;
    kit.reset();
    kit.entry(1, 36).used = 1;
    kit.entry(1, 36).name = "Kick";
    d.replace(kit);
    return d;
}

struct DocumentRow {
    const char* name;
    std::function<void(Document&)> change;
    bool modified, canUndo, canPaste;
    std::string note36;  // the name set 1, note 36 holds afterwards
};

const DocumentRow kRows[] = {
    {"AnotherKitForgetsTheUndo", [](Document& d) { d.recordUndo(1, 36), d.replace(Kit{}); }, false, false, false, ""},
    {"CutRecordsTheUndoAndFillsTheClipboard", [](Document& d) { d.cut(1, 36); }, true, true, true, ""},
    {"CopyChangesNothingElse", [](Document& d) { d.copy(1, 36); }, false, false, true, "Kick"},
    {"CopyOfAnUnusedNoteLeavesNothingToPaste", [](Document& d) { d.copy(2, 0); }, false, false, false, "Kick"},
    {"UndoOfACutBringsTheNoteBack", [](Document& d) { d.cut(1, 36), d.undo(); }, true, true, true, "Kick"},
    {"ASecondUndoRedoes", [](Document& d) { d.erase(1, 36), d.undo(), d.undo(); }, true, true, false, ""},
    {"PasteOverwritesAndCanBeUndone", [](Document& d) { d.cut(1, 36), d.paste(1, 36), d.undo(); }, true, true, true, ""},
    {"AnUnchangedValueIsNoChange", [](Document& d) { d.setParameter(1, 36, kRowLevel, fieldOfRow(d.entry(1, 36), kRowLevel)); }, false, false, false, "Kick"},
    {"AChangedValueIsAChangeWithoutUndo", [](Document& d) { d.setParameter(1, 36, kRowLevel, fieldOfRow(d.entry(1, 36), kRowLevel) ^ 1); }, true, false, false, "Kick"},
    {"TheSameSetNameIsNoChange", [](Document& d) { d.renameSet(1, d.kit().setName(1)); }, false, false, false, "Kick"},
    {"ANewKitIsUnmodifiedAndForgetsTheUndo", [](Document& d) { d.cut(1, 36), d.reset(); }, false, false, true, ""},
};

class DocumentChanges : public ::testing::TestWithParam<DocumentRow> {};

TEST_P(DocumentChanges, LeaveTheUndoClipboardAndFlagsAsAUserExpects) {
    Document d = withKick();
    GetParam().change(d);
    EXPECT_EQ(d.modified(), GetParam().modified);
    EXPECT_EQ(d.canUndo(), GetParam().canUndo);
    EXPECT_EQ(d.canPaste(), GetParam().canPaste);
    EXPECT_EQ(d.entry(1, 36).name, GetParam().note36);
}

INSTANTIATE_TEST_SUITE_P(Document, DocumentChanges, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Document, IsUntitledUntilNamedAndAgainWhenToldSo) {
    Document d;
    EXPECT_EQ(d.name(), QStringLiteral("無題"));
    EXPECT_FALSE(d.named());
    d.setFile("/k/", "rock.kfg");
    EXPECT_EQ(d.folder() + d.name(), "/k/rock.kfg");
    EXPECT_TRUE(d.named());
    d.setUntitled();
    EXPECT_EQ(d.name(), QStringLiteral("無題"));
    EXPECT_FALSE(d.named());
    EXPECT_EQ(d.folder(), "/k/") << "the folder stays for the next dialog";
}

}  // namespace
}  // namespace kf::test
