// A push button that keeps its text exactly as set but draws it on one line, as a Windows push
// button without the multi-line style does: the line feeds that end some button texts are part
// of the text yet never break it.
#pragma once

#include <QPushButton>

namespace orvane {

class SingleLineButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

    // The text with its line breaks left out: what the button draws.
    static QString drawnText(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace orvane
