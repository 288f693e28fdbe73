// GoogleTest inside a QApplication on the offscreen platform, with settings and the
// single-instance lock kept in a directory of the run's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/translation.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home.path() + "/run").toUtf8());
    QDir().mkpath(home.path() + "/run");
    QFile::setPermissions(home.path() + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Vondrel");
    QApplication::setApplicationName("Kitforge");
    kf::ui::installQtTranslation(app);  // as the program does
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
