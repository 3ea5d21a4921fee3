#include <QApplication>

#include <gtest/gtest.h>

// The window tests need a QApplication; they run on Qt's offscreen platform,
// unless told otherwise. The Windows build's Qt has none: there they run on
// the windows platform, under Wine on a virtual display (and Wine passes no
// QT_ variable on to the program).
int main(int argc, char** argv)
{
#ifndef _WIN32
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
