#include "app/single_instance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace kf::ui {

struct SingleInstance::Held {
    QLockFile lock;
};

namespace {
QString defaultLockPath() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir + QStringLiteral("/MutexObjectKFG");
}
}  // namespace

SingleInstance::SingleInstance() : SingleInstance(defaultLockPath()) {}

SingleInstance::SingleInstance(const QString& where) : path_(where), held_(new Held{QLockFile(where)}) {
    // Only a lock whose process is gone is stale, however old a live one is.
    held_->lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::acquire() {
    if (held_->lock.tryLock(0)) return Claim::Acquired;
    if (held_->lock.error() != QLockFile::LockFailedError) return Claim::Unusable;
    qint64 pid = 0;
    QString host, app;
    // A lock that names no owner (left empty or cut short by a crash or a full disk while it
    // was written) is held by no live copy; Qt never calls it stale with a stale time of 0.
    if (held_->lock.getLockInfo(&pid, &host, &app) && pid > 0) return Claim::HeldByAnother;
    held_->lock.removeStaleLockFile();
    // Still there and still naming no one (a folder, a file we may not read or remove): no
    // copy can be seen to hold it, yet this one cannot take it either.
    return held_->lock.tryLock(0) ? Claim::Acquired : Claim::Unusable;
}

}  // namespace kf::ui
