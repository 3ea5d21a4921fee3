#include "OperatorReport.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

void writeLine(const char* kind, const QString& text)
{
    std::fprintf(stderr, "cvd-operator: %s: %s\n", kind, qUtf8Printable(text));
    std::fflush(stderr);
}

} // namespace

OperatorReport::OperatorReport(bool showBoxes)
    : showBoxes(showBoxes)
{}

void OperatorReport::inform(const QString& text)
{
    writeLine("note", text);
    if (showBoxes)
        QMessageBox::information(nullptr, QStringLiteral("Form1"), text);
}

void OperatorReport::fatal(const QString& text)
{
    writeLine("error", text);
    if (showBoxes)
        QMessageBox::critical(nullptr, QStringLiteral("Form1"), text + QStringLiteral("\n\nThe program ends now."));
    QCoreApplication::exit(1);
}
