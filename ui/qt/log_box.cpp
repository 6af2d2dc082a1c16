// Keeps the text as set and shows it with CR LF turned into line breaks.
#include "ui/qt/log_box.h"

namespace orvane {

LogBox::LogBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // A multi-line edit with horizontal auto-scroll does not wrap; it has a vertical scroll
    // bar only.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    // With horizontal auto-scroll the view follows the caret: arrow keys and End reach the
    // end of a long line, as in a read-only edit with that style.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void LogBox::setWindowText(const QString& text) {
    text_ = text;
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(shown);
}

} // namespace orvane
