#include "WindowFixture.h"

#include "Operator.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>

// Through the program's own start-up: the library is initialised once,
// before the window is shown.
TEST_F(WindowTest, StartUpInitialisesTheLibraryBeforeShowingTheWindow)
{
    comm = std::make_unique<FakeMSComm>(clock, inTurn({}));
    FakeAutomate automaton;
    bool visibleAtInit = true;
    automaton.onInit = [&] {
        const auto tops = QApplication::topLevelWidgets();
        visibleAtInit = std::any_of(tops.begin(), tops.end(), [](QWidget* top) { return top->isVisible(); });
    };
    bool shown = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            shown = top->close() || shown;
    });
    Platform platform{*comm, clock, events, messages};
    EXPECT_EQ(runWindow(automaton, platform), 0);
    EXPECT_EQ(automaton.initCalls, 1);
    EXPECT_FALSE(visibleAtInit);
    EXPECT_TRUE(shown);
}

TEST_F(WindowTest, AffRepShowsTheNameOrTheNumber)
{
    build(inTurn({}));
    for (auto [code, text] : std::vector<std::pair<CodeReponse, QString>>{{0x22, "Empty"},
                                                                          {0x23, "Ready"},
                                                                          {0x24, "Busy"},
                                                                          {0x25, "Error"},
                                                                          {0x4B, "NACK"},
                                                                          {0x50, "ACK"},
                                                                          {0, "0"},
                                                                          {-1, "-1"},
                                                                          {75, "NACK"}}) {
        window->AffRep(code);
        EXPECT_EQ(window->Text1->text(), text) << code;
    }
}

struct DirectCase {
    const char* button;
    const char* written;
    CodeReponse reply;
    const char* shown;
};

inline std::ostream& operator<<(std::ostream& out, const DirectCase& c)
{
    return out << c.button;
}

class DirectCommand : public WindowTest, public ::testing::WithParamInterface<DirectCase> {};

TEST_P(DirectCommand, EmptiesTextOneSendsAndShowsTheReply)
{
    const CodeReponse reply = GetParam().reply;
    build([reply](const std::string&) { return reply ? replyCode(reply) : noReply(); });
    window->liaison().NumPort = 1;
    window->Text1->setText("old");
    QString textAtWrite = "unset";
    comm->onWrite = [&](const std::string&) { textAtWrite = window->Text1->text(); };
    ImmediatePaints text1(window->Text1, processing);
    click(window->findChild<QPushButton*>(GetParam().button));
    EXPECT_EQ(textAtWrite, "") << "Text1 is empty while the request runs";
    EXPECT_EQ(text1.texts, (std::vector<QString>{"", GetParam().shown})) << "both repainted at once";
    EXPECT_EQ(comm->ops("write").at(0).what, std::string("write ") + GetParam().written);
    EXPECT_EQ(window->Text1->text(), GetParam().shown);
    EXPECT_TRUE(comm->portOpen()) << "a direct command leaves the port open";
}

INSTANTIATE_TEST_SUITE_P(Buttons, DirectCommand,
                         ::testing::Values(DirectCase{"Command1", "01 37", Protocol::Busy, "Busy"},
                                           DirectCase{"Command2", "01 40", 0, "0"},
                                           DirectCase{"Command3", "01 42", Protocol::Nack, "NACK"}),
                         [](const auto& info) { return std::string(info.param.button); });

TEST_F(WindowTest, DirectCommandWithNoPortChosenSendsNothing)
{
    build(inTurn({replyCode(Protocol::Ready)}));
    for (QPushButton* button : {window->Command1, window->Command2, window->Command3})
        click(button);
    EXPECT_TRUE(comm->wire.empty());
    ASSERT_EQ(messages.informed.size(), 3u);
    EXPECT_TRUE(messages.informed[0].contains("distribuer Carte 1"));
    EXPECT_TRUE(messages.fatals.empty());
    EXPECT_TRUE(window->isVisible()) << "the program goes on";
}

// A failure of the serial control ends the handler before AffRep and goes
// to the operator report.
TEST_F(WindowTest, SerialErrorEndsTheHandlerAndIsReported)
{
    build(inTurn({}));
    window->liaison().NumPort = 1;
    window->Text1->setText("before");
    comm->onWrite = [](const std::string&) { throw SerialError("Serial port 1 (/dev/x): hang-up"); };
    click(window->Command1);
    ASSERT_EQ(messages.fatals.size(), 1u);
    EXPECT_EQ(messages.fatals[0], "Serial port 1 (/dev/x): hang-up");
    EXPECT_EQ(window->Text1->text(), "") << "no AffRep after the error";
}
