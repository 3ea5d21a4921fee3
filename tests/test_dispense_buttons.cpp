#include "WindowFixture.h"

// The attempt loop of the dispense buttons: the library, consulted with 5
// after each attempt, stops it with -2, or four attempts run; Text1 shows its
// last answer as a number, Text2 the attempt.
TEST_F(WindowTest, AttemptsRunUntilTheLibrarySaysStopOrFourAreDone)
{
    const struct {
        const char* name;
        bool secondButton;
        CodeReponse status;
        std::vector<std::int32_t> answers;
        std::size_t attempts, cardOuts;
        QString text1;
    } rows[] = {
        {"stop after the first", false, Protocol::Ready, {-2}, 1, 1, "-2"},
        {"stop after the second", false, Protocol::Ready, {1, -2, 7}, 2, 2, "-2"},
        {"never stop, a number shown", false, Protocol::Ready, {0, 35}, 4, 4, "35"},
        {"no reply, port 2", true, 0, {0}, 4, 0, "0"},
    };
    for (const auto& row : rows) {
        build(statusThenAck([code = row.status] { return code; }), row.answers);
        click(row.secondButton ? window->Command5 : window->Command4);
        const std::string open = row.secondButton ? "open 2" : "open 1";
        EXPECT_EQ(comm->opNames().front(), open) << row.name;
        EXPECT_EQ(comm->ops(open).size(), row.attempts) << row.name;
        EXPECT_EQ(comm->ops("open").size(), row.attempts) << row.name;
        EXPECT_EQ(comm->ops("write 01 42").size(), row.cardOuts) << row.name;
        EXPECT_EQ(automate->arguments, std::vector<std::int32_t>(row.attempts, 5)) << row.name;
        EXPECT_EQ(window->Text1->text(), row.text1) << row.name;
        EXPECT_EQ(window->Text2->text(), QString::number(row.attempts)) << row.name;
        EXPECT_FALSE(comm->portOpen()) << row.name;
    }
}

// Window events run before each attempt, the port is closed while the
// library is consulted, and Text2 is emptied and repainted at once.
TEST_F(WindowTest, FourAttemptsWhenTheLibraryNeverSaysStop)
{
    build(statusThenAck([] { return CodeReponse{0}; }), {0});
    std::vector<QString> attemptShown;
    std::vector<bool> portClosedAtVerif;
    // Window events run before each attempt: between the last consultation
    // (or the click) and the attempt's first request.
    std::vector<bool> eventsBeforeAttempt;
    int processedAtVerif = events.processed;
    comm->onWrite = [&](const std::string&) {
        if (attemptShown.size() < comm->ops("open").size()) {
            attemptShown.push_back(window->Text2->text());
            eventsBeforeAttempt.push_back(events.processed > processedAtVerif);
        }
    };
    automate->onVerif = [&] {
        portClosedAtVerif.push_back(!comm->portOpen());
        processedAtVerif = events.processed;
    };
    ImmediatePaints text2(window->Text2, processing);
    click(window->Command5);
    EXPECT_EQ(attemptShown, (std::vector<QString>{"1", "2", "3", "4"}));
    EXPECT_EQ(eventsBeforeAttempt, std::vector<bool>(4, true));
    // Emptied and repainted at once; the number only with the whole window,
    // when the reset reply is shown.
    EXPECT_EQ(text2.texts, (std::vector<QString>{"", "1", "", "2", "", "3", "", "4"}));
    EXPECT_EQ(portClosedAtVerif, std::vector<bool>(4, true));
}

TEST_F(WindowTest, TextOneIsEmptiedAtTheStartAndShowsTheResetReply)
{
    build(statusThenAck([] { return Protocol::Busy; }), {-2});
    window->Text1->setText("old");
    QString atFirstWrite = "unset";
    std::vector<QString> shownAtStatus;
    comm->onWrite = [&](const std::string& request) {
        if (atFirstWrite == "unset")
            atFirstWrite = window->Text1->text();
        if (request[1] == Protocol::Status)
            shownAtStatus.push_back(window->Text1->text());
    };
    ImmediatePaints text1(window->Text1, processing);
    click(window->Command4);
    EXPECT_EQ(atFirstWrite, "");
    EXPECT_EQ(text1.texts, (std::vector<QString>{"", "ACK"})) << "emptied, and the reset reply, repainted at once";
    EXPECT_EQ(shownAtStatus.back(), "ACK") << "the reset reply stays shown through the recovery";
    EXPECT_EQ(window->Text1->text(), "-2");
}

// A direct command left port 1 open: the first attempt of "distribuer Carte 2"
// runs on it and closes it; the later attempts open port 2. The direct
// command after it opens port 2 and leaves it open.
TEST_F(WindowTest, DispenseOnAPortLeftOpenByADirectCommand)
{
    build(statusThenAck([] { return Protocol::Ready; }), {0});
    window->liaison().NumPort = 1;
    click(window->Command1);
    EXPECT_EQ(window->Text1->text(), "Ready");
    click(window->Command5);
    std::vector<std::string> opens;
    for (const auto& op : comm->ops("open"))
        opens.push_back(op.what);
    EXPECT_EQ(opens, (std::vector<std::string>{"open 1", "open 2", "open 2", "open 2"}));
    EXPECT_EQ(comm->ops("close").size(), 4u);
    EXPECT_EQ(window->liaison().NumPort, 2);
    click(window->Command1);
    EXPECT_EQ(comm->ops("open").back().what, "open 2");
    EXPECT_EQ(comm->ops("open").size(), 5u);
    EXPECT_TRUE(comm->portOpen());
    EXPECT_EQ(window->Text1->text(), "Ready");
}

// In the 1.5 s pause the window answers: clicks do nothing, and an exposed
// field is painted again.
TEST_F(WindowTest, ClicksDuringADispenseDoNothing)
{
    build(statusThenAck([] { return Protocol::Ready; }), {-2});
    bool enabledDuring = true;
    PaintCount paints(window->Text2);
    int paintsAt700 = 0;
    events.at(700ms, [&] {
        enabledDuring = window->Command1->isEnabled() || window->Command4->isEnabled();
        for (QPushButton* b :
             {window->Command1, window->Command2, window->Command3, window->Command4, window->Command5})
            click(b);
        paintsAt700 = paints.count;
        window->Text2->update();
    });
    int paintsAt1400 = 0;
    events.at(1400ms, [&] { paintsAt1400 = paints.count; });
    click(window->Command4);
    EXPECT_FALSE(enabledDuring);
    EXPECT_GT(paintsAt1400, paintsAt700) << "no paint in the pause";
    EXPECT_EQ(comm->ops("write").size(), 2u) << "only this dispense's status and card-out";
    EXPECT_EQ(window->liaison().NumPort, 1) << "a nested dispense button would have chosen port 2";
    for (QPushButton* b : {window->Command1, window->Command2, window->Command3, window->Command4, window->Command5})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
}

TEST_F(WindowTest, CloseDuringADispenseWaitsForTheHandler)
{
    build(statusThenAck([] { return Protocol::Ready; }), {-2});
    bool visibleAfterClose = false;
    events.at(700ms, [&] {
        window->close();
        visibleAfterClose = window->isVisible();
    });
    click(window->Command4);
    EXPECT_TRUE(visibleAfterClose) << "the close is held while the attempt runs";
    EXPECT_EQ(comm->ops("write 01 42").size(), 1u) << "the attempt finished";
    EXPECT_FALSE(comm->portOpen());
    EXPECT_FALSE(window->isVisible()) << "closed once the handler returned";
}
