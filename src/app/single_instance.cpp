#include "app/single_instance.h"

#include <QDir>
#include <QStandardPaths>

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

bool SingleInstance::acquire() {
    if (lock_->tryLock(0)) return true;
    if (lock_->error() != QLockFile::LockFailedError) return false;
    qint64 pid = 0;
    QString host, app;
    // A lock that names no owner (left empty or cut short by a crash or a full disk while it
    // was written) is held by no live copy; Qt never calls it stale with a stale time of 0.
    if (lock_->getLockInfo(&pid, &host, &app) && pid > 0) return false;
    lock_->removeStaleLockFile();
    return lock_->tryLock(0);
}

}  // namespace kf::ui
