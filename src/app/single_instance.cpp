#include "app/single_instance.h"

#include <QDir>
#include <cstdio>
#include <QStandardPaths>

#include "editor/dialogs.h"

namespace kf::ui {

namespace {
QString defaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/MutexObjectKFG");
}
}  // namespace

SingleInstance::SingleInstance() : SingleInstance(defaultLockPath()) {}

SingleInstance::SingleInstance(const QString& lockPath) : path_(lockPath), lock_(std::make_unique<QLockFile>(lockPath)) {
    // Only a lock whose process is gone is stale, however old a live one is.
    lock_->setStaleLockTime(0);
}

SingleInstance::Claim SingleInstance::acquire() {
    if (lock_->tryLock(0)) return Claim::Acquired;
    if (lock_->error() != QLockFile::LockFailedError) return Claim::Unusable;
    qint64 pid = 0;
    QString host, app;
    // A lock that names no owner (left empty or cut short by a crash or a full disk while it
    // was written) is held by no live copy; Qt never calls it stale with a stale time of 0.
    if (lock_->getLockInfo(&pid, &host, &app) && pid > 0) return Claim::HeldByAnother;
    lock_->removeStaleLockFile();
    // Still there and still naming no one (a folder, a file we may not read or remove): no
    // copy can be seen to hold it, yet this one cannot take it either.
    return lock_->tryLock(0) ? Claim::Acquired : Claim::Unusable;
}

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
