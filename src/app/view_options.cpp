#include "app/view_options.h"

#include <QAction>
#include <QMenu>

#include "app/actions.h"

namespace kf::ui {

namespace {
QAction* item(QObject* parent, const char* name, const char* caption, const char* hint) {
    auto* a = new QAction(QString::fromUtf8(caption), parent);
    a->setObjectName(name);
    a->setCheckable(true);
    a->setChecked(true);
    a->setStatusTip(QString::fromUtf8(hint));
    return a;
}
}  // namespace

ViewOptions::ViewOptions(QAction* dataUp, QAction* dataDown, QObject* parent)
    : QObject(parent), dataUp_(dataUp), dataDown_(dataDown) {
    const char* toolHint = "ﾂｰﾙﾊﾞｰの表示/非表示を切り替えます。";
    const char* nameHint = "ドラム名入力ﾊﾞｰの表示/非表示を切り替えます。";
    const char* dataHint = "ﾃﾞｰﾀ入力ﾎﾞｯｸｽの表示/非表示を切り替えます。";
    const char* statusHint = "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示を切り替えます。";
    Tool1 = item(this, "Tool1", "ﾂｰﾙﾊﾞｰ(&T)", toolHint);
    DrumName1 = item(this, "DrumName1", "名前入力(&N)", nameHint);
    Data1 = item(this, "Data1", "ﾃﾞｰﾀ入力(&I)", dataHint);
    Status1 = item(this, "Status1", "ｽﾃｰﾀｽﾊﾞｰ(&S)", statusHint);
    Tool2 = item(this, "Tool2", "ﾂｰﾙﾊﾞｰ", toolHint);
    DrumName2 = item(this, "DrumName2", "名前入力", nameHint);
    Data2 = item(this, "Data2", "ﾃﾞｰﾀ入力", dataHint);
    Status2 = item(this, "Status2", "ｽﾃｰﾀｽﾊﾞｰ", statusHint);
    Library1 = item(this, "Library1", "ｷｯﾄﾗｲﾌﾞﾗﾘ(&L)", "ｷｯﾄﾗｲﾌﾞﾗﾘの表示/非表示を切り替えます。");
    Library1->setChecked(false);
    connect(Library1, &QAction::triggered, this, [this] { Library1Click(); });
    for (QAction* a : {Tool1, Tool2}) connect(a, &QAction::triggered, this, [this] { Tool1Click(); });
    for (QAction* a : {DrumName1, DrumName2}) connect(a, &QAction::triggered, this, [this] { DrumName1Click(); });
    for (QAction* a : {Data1, Data2}) connect(a, &QAction::triggered, this, [this] { Data1Click(); });
    for (QAction* a : {Status1, Status2}) connect(a, &QAction::triggered, this, [this] { Status1Click(); });
    if (dataUp_) connect(dataUp_, &QAction::triggered, this, [this] { SetDataBoxAtBottom(false); });
    if (dataDown_) connect(dataDown_, &QAction::triggered, this, [this] { SetDataBoxAtBottom(true); });
}

QMenu* ViewOptions::viewMenu(QWidget* parent) {
    auto* m = new QMenu(QStringLiteral("表示(&V)"), parent);
    m->setObjectName("Show1");
    m->menuAction()->setStatusTip(QStringLiteral("画面表示の設定、ﾂｰﾙﾊﾞｰ、ｽﾃｰﾀｽﾊﾞｰの表示を変更します。"));
    m->setProperty("helpContext", 12);
    m->addActions({Tool1, DrumName1, Data1, Status1, Library1});
    return m;
}

QMenu* ViewOptions::popupMenu(QWidget* parent) {
    auto* m = new QMenu(parent);
    m->setObjectName("PopView1");
    m->setProperty("helpContext", 51);
    m->addActions({Tool2, DrumName2, Data2, Status2});
    return m;
}

bool ViewOptions::flip(bool& flag, bool v, QAction* menuItem, QAction* popupItem) {
    // Nothing happens when the state is already the wanted one.
    if (flag == v) return false;
    flag = v;
    menuItem->setChecked(v);
    popupItem->setChecked(v);
    return true;
}

void ViewOptions::SetToolBarVisible(bool v) {
    if (flip(toolBar_, v, Tool1, Tool2)) emit toolBarShown(v);
}

void ViewOptions::SetNameBarVisible(bool v) {
    if (flip(nameBar_, v, DrumName1, DrumName2)) emit nameBarShown(v);
}

void ViewOptions::SetStatusBarVisible(bool v) {
    if (flip(statusBar_, v, Status1, Status2)) emit statusBarShown(v);
}

void ViewOptions::SetDataBoxVisible(bool v) {
    if (flip(dataBox_, v, Data1, Data2)) emit dataBoxShown(v);
}

void ViewOptions::SetLibraryVisible(bool v) {
    if (library_ == v) return;
    library_ = v;
    Library1->setChecked(v);
    emit libraryShown(v);
}

void ViewOptions::SetDataBoxAtBottom(bool v) {
    if (atBottom_ == v) return;
    atBottom_ = v;
    emit dataBoxPlaced(v);
    if (dataUp_) dataUp_->setEnabled(v);
    if (dataDown_) dataDown_->setEnabled(!v);
}

}  // namespace kf::ui
