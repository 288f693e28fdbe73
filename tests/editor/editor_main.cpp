// GoogleTest inside a QCoreApplication: the editor's parts hand work back to the window's
// thread through its event loop, and need nothing more of Qt.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
