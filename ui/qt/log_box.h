// The log box: a read-only multi-line edit whose window text is kept exactly as set, CR LF
// line ends included, while the view shows it with plain line breaks.
#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace orvane {

class LogBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit LogBox(QWidget* parent = nullptr);

    void setWindowText(const QString& text);
    const QString& windowText() const { return text_; }

  private:
    QString text_;
};

} // namespace orvane
