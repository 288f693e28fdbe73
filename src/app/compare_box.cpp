#include "app/compare_box.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/actions.h"
#include "editor/midi_texts.h"
#include "editor/text.h"

namespace kf::ui {

namespace {
const QString kCaption = QStringLiteral("ﾓｼﾞｭｰﾙと照合");

QString nameText(const std::string& bytes) {
    std::string s = bytes;
    s.erase(s.find_last_not_of(' ') + 1);
    return toUnicode(s);
}

QString summaryText(const VerifyReport& report) {
    QString text = QStringLiteral("ﾓｼﾞｭｰﾙと違う音色: %1").arg(report.notesDiffering());
    if (report.namesDiffering() > 0) text += QStringLiteral("、ｾｯﾄ名: %1").arg(report.namesDiffering());
    return text;
}
}  // namespace

DifferencesBox::DifferencesBox(QWidget* parent, const QString& summary, const VerifyReport& report)
    : QDialog(parent) {
    setObjectName("DiffBox");
    setWindowTitle(kCaption);
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel(summary, this);
    summary_->setObjectName("DiffSummary");
    layout->addWidget(summary_);
    list_ = new QTableWidget(static_cast<int>(report.differences.size()), 5, this);
    list_->setObjectName("DiffList");
    list_->setHorizontalHeaderLabels({QStringLiteral("ｾｯﾄ"), QStringLiteral("ﾉｰﾄ"), QStringLiteral("ﾊﾟﾗﾒｰﾀ"),
                                      QStringLiteral("ｷｯﾄ"), QStringLiteral("ﾓｼﾞｭｰﾙ")});
    list_->verticalHeader()->hide();
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    const QString none = QStringLiteral("応答なし");
    int row = 0;
    for (const Difference& d : report.differences) {
        const bool name = d.parameter == 0;
        const bool answered = d.moduleValue != Difference::kNoAnswer;
        const QString cells[] = {
            QString::number(d.set),
            name ? QStringLiteral("-") : QString::number(d.note),
            name ? QStringLiteral("ｾｯﾄ名") : QString::fromUtf8(deviceParameterName(d.parameter)),
            name ? nameText(d.kitName) : QString::number(d.kitValue),
            !answered ? none : name ? nameText(d.moduleName) : QString::number(d.moduleValue),
        };
        for (int c = 0; c < 5; ++c) list_->setItem(row, c, new QTableWidgetItem(cells[c]));
        ++row;
    }
    list_->resizeColumnsToContents();
    list_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    auto* send = new QPushButton(QStringLiteral("違う所を送信"), this);
    send->setObjectName("SendDiff2");
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName("CloseDiff");
    close->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(send);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(send, &QPushButton::clicked, this, [this] { done(Send); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    resize(520, 360);
}

CompareCommands::CompareCommands(EditorController& controller, Dialogs& dialogs, QWidget* window)
    : QObject(window), c_(controller), dialogs_(dialogs), window_(window) {
    Verify1 = makeAction(window, "Verify1", QStringLiteral("ﾓｼﾞｭｰﾙと照合(&V)"),
                         "ﾓｼﾞｭｰﾙと照合します。|ﾓｼﾞｭｰﾙが今のｷｯﾄを持っているかを読み出して確かめ、違う所を示します。");
    SendDiff1 = makeAction(window, "SendDiff1", QStringLiteral("違う所を送信"),
                           "違う所を送信します。|照合で違っていたﾊﾟﾗﾒｰﾀだけを送り、もう一度照合します。");
    connect(Verify1, &QAction::triggered, this, &CompareCommands::Verify1Click);
    connect(SendDiff1, &QAction::triggered, this, &CompareCommands::SendDiff1Click);
}

void CompareCommands::Verify1Click() {
    if (c_.state().busy || !c_.session().preview()) return;
    show(c_.comparison().compare(), false);
}

void CompareCommands::SendDiff1Click() {
    if (c_.state().busy || !c_.session().preview()) return;
    show(c_.comparison().sendDifferences(), false);
}

void CompareCommands::compareEnded(const ModuleSession::Compare& result, bool afterTransfer) {
    show(result, afterTransfer);
}

void CompareCommands::show(const ModuleSession::Compare& result, bool quietWhenSame) {
    const VerifyReport& report = result.report;
    const Options& o = c_.state().options;
    QString silent = QStringLiteral("ﾓｼﾞｭｰﾙから応答がありません。\r\n出力: %1\r\n入力: %2")
                         .arg(QString::fromStdString(c_.session().outputName(o.midiPort)))
                         .arg(QString::fromStdString(c_.session().inputName(o.midiInPort)));
    if (result.inputError) silent += "\r\n(" + openFailureText(*result.inputError) + ")";
    switch (report.state) {
        case KitFetch::State::Cancelled: return;
        case KitFetch::State::NoAnswer:
            dialogs_.message(window_, QMessageBox::Warning, kCaption, silent, QMessageBox::Ok);
            return;
        default: break;
    }
    if (report.same()) {
        if (!quietWhenSame)
            dialogs_.message(window_, QMessageBox::Information, kCaption, QStringLiteral("ﾓｼﾞｭｰﾙはｷｯﾄと同じです。"),
                             QMessageBox::Ok);
        return;
    }
    QString summary = summaryText(report);
    if (report.state != KitFetch::State::Done) summary = silent + "\r\n" + summary;
    DifferencesBox box(window_, summary, report);
    if (box.exec() == DifferencesBox::Send) SendDiff1Click();
}

}  // namespace kf::ui
