#include "WindowFixture.h"

#include "ControlsTable.h"
#include "Twips.h"

#include <QAccessible>
#include <QApplication>

// Run at 96 dpi in the suite, and again at 120 and 144 dpi (QT_FONT_DPI):
// on the screen, every control keeps its size and place in twips.
TEST_F(WindowTest, ScalingKeepsTheTwipsOfEveryControl)
{
    build(inTurn({}));
    const double ratio = window->devicePixelRatioF();
    const int dpi = qRound(window->logicalDpiX() * ratio);
    std::printf("screen at %d dpi\n", dpi);
    const QRect client(QPoint(0, 0), window->size() * ratio);
    for (const ControlPlace& c : Controls) {
        const QRect logical = window->findChild<QWidget*>(c.name)->geometry();
        const QRect onScreen(qRound(logical.x() * ratio), qRound(logical.y() * ratio), qRound(logical.width() * ratio),
                             qRound(logical.height() * ratio));
        const QRect expected(twipsToPixels(c.twips.left, dpi), twipsToPixels(c.twips.top, dpi),
                             twipsToPixels(c.twips.width, dpi), twipsToPixels(c.twips.height, dpi));
        EXPECT_NEAR(onScreen.x(), expected.x(), 1) << c.name;
        EXPECT_NEAR(onScreen.y(), expected.y(), 1) << c.name;
        EXPECT_NEAR(onScreen.width(), expected.width(), 1) << c.name;
        EXPECT_NEAR(onScreen.height(), expected.height(), 1) << c.name;
        EXPECT_TRUE(client.contains(onScreen)) << c.name << " lies outside the client area";
    }
    if (dpi == 120) {
        const QRect command1 = window->Command1->geometry();
        EXPECT_EQ(QPoint(qRound(command1.x() * ratio), qRound(command1.y() * ratio)), QPoint(100, 140));
    }
}

TEST_F(WindowTest, EveryControlHasAnAccessibleName)
{
    build(inTurn({}));
    const std::pair<QWidget*, QString> names[] = {
        {window->Command1, "CVD Statut"},
        {window->Command2, "CVD Reset"},
        {window->Command3, "CVD CardOut"},
        {window->Command4, "distribuer Carte 1"},
        {window->Command5, "distribuer Carte 2"},
        {window->Text1, "Result"},
        {window->Text2, "Attempt"},
        {window.get(), "Form1"},
    };
    for (const auto& [widget, name] : names) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->text(QAccessible::Name), name);
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window.get())->role(), QAccessible::Window)
        << "a screen reader announces a frame; a top-level client area may go unannounced";
}

TEST_F(WindowTest, TabWalksTheControlsInTheirOrder)
{
    build(inTurn({}));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->Command1->setFocus();
    for (std::size_t i = 0; i <= std::size(Controls); ++i) {
        const char* name = Controls[i % std::size(Controls)].name; // back to the first
        EXPECT_EQ(QApplication::focusWidget(), window->findChild<QWidget*>(name)) << name;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
}

// Disabling the buttons during a dispense moves the focus away; it comes
// back, so that the keyboard operator's Space dispenses again.
TEST_F(WindowTest, SpaceRepeatsTheDispenseOfTheFocusedButton)
{
    build(statusThenAck([] { return Protocol::Ready; }), {-2, -2});
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->Command5->setFocus();
    QTest::keyClick(window->Command5, Qt::Key_Space);
    EXPECT_EQ(QApplication::focusWidget(), window->Command5);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_EQ(comm->ops("open").size(), 2u);
    EXPECT_EQ(comm->ops("open")[1].what, "open 2");
    EXPECT_EQ(window->Text1->text(), "-2");
}
