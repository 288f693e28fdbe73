#include "app/single_instance.h"

#include <QDir>
#include <cstdio>

#include "app/dialogs.h"

namespace kf::ui {

std::optional<int> claimSingleInstance(SingleInstance& instance, Dialogs& dialogs) {
    switch (instance.acquire()) {
    case SingleInstance::Claim::Acquired:
        return std::nullopt;
    case SingleInstance::Claim::HeldByAnother:
        return 0;
    case SingleInstance::Claim::Unusable:
        break;
    }
    const QString text = QStringLiteral("ﾌｧｲﾙ %1 を作成できません\n起動中のKitforgeを確かめられないので終了します。")
                             .arg(QDir::toNativeSeparators(instance.path()));
    // Also on the terminal, for a start from a script or a launcher that keeps its output.
    fprintf(stderr, "kitforge: %s\n", text.toLocal8Bit().constData());
    dialogs.message(nullptr, QMessageBox::Critical, QStringLiteral("Kitforge"), text, QMessageBox::Ok);
    return 1;
}

}  // namespace kf::ui
