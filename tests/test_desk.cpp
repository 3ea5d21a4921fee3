#include "WindowFixture.h"

#include "Golden.h"

#include <QAccessible>
#include <QApplication>

// The window as the operator sees it, against tests/golden/layout-DPI.txt:
// each control in the order Tab walks them, with its place and size on the
// screen in pixels and its caption. Run at 96 dpi in the suite, and again at
// 120 and 144 dpi (QT_FONT_DPI).
TEST_F(WindowTest, LayoutIsTheRecordedOne)
{
    build(inTurn({}));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const double ratio = window->devicePixelRatioF();
    const auto px = [ratio](int logical) { return qRound(logical * ratio); };
    const int dpi = px(window->logicalDpiX());
    const QRect client(QPoint(0, 0), window->size() * ratio);
    QString layout = QStringLiteral("%1 at %2 dpi\n").arg(window->windowTitle()).arg(dpi);
    window->Command1->setFocus();
    for (int tab = 0; tab < 10; ++tab) {
        QWidget* control = QApplication::focusWidget();
        const QRect g = control->geometry();
        const QRect onScreen(px(g.x()), px(g.y()), px(g.width()), px(g.height()));
        EXPECT_TRUE(client.contains(onScreen)) << control->objectName().toStdString() << " lies outside the window";
        const auto* button = qobject_cast<QPushButton*>(control);
        layout += QStringLiteral("%1 %2 %3 %4 %5 \"%6\"\n")
                      .arg(control->objectName())
                      .arg(onScreen.x())
                      .arg(onScreen.y())
                      .arg(onScreen.width())
                      .arg(onScreen.height())
                      .arg(button ? button->text() : static_cast<QLineEdit*>(control)->text());
        QTest::keyClick(control, Qt::Key_Tab);
        if (QApplication::focusWidget() == window->Command1)
            break;
    }
    expectGolden("layout-" + std::to_string(dpi) + ".txt", layout.toStdString());
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
