// Keeps the text as set and shows it with CR LF turned into line breaks.
#include "ui/qt/log_box.h"

namespace orvane {

LogBox::LogBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // The box has a vertical scroll bar only, so long lines (a failure's reason, a path) wrap
    // at its width to be read whole, a word too long for one line broken anywhere, as the
    // native multi-line edit without horizontal auto-scroll does.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void LogBox::setWindowText(const QString& text) {
    text_ = text;
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(shown);
}

} // namespace orvane
