// The modal questions the dialog asks: message boxes and open-file dialogs. The dialog takes
// them through this interface so tests can answer them without a person.
#pragma once

#include "ui/logic/dialog_view.h"

#include <QString>
#include <optional>

class QWidget;

namespace orvane {

// An open-file dialog as the handlers set it up.
struct OpenFileSetup {
    QString defaultSuffix; // appended to a typed name without one
    QString filter;        // Qt filter string, entries separated by ";;"
};

class DialogPrompts {
  public:
    virtual ~DialogPrompts() = default;
    // A message box with an OK button only, captioned with the application's name.
    virtual void showMessage(QWidget* owner, const QString& text) = 0;
    // A yes/no question; answers true for yes.
    virtual bool askYesNo(QWidget* owner, const QString& text, DefaultAnswer preset) = 0;
    // The full path the user picked, or nullopt when the dialog was cancelled.
    virtual std::optional<QString> openFile(QWidget* owner, const OpenFileSetup& setup) = 0;
};

// The real dialogs of the desktop.
class QtDialogPrompts final : public DialogPrompts {
  public:
    void showMessage(QWidget* owner, const QString& text) override;
    bool askYesNo(QWidget* owner, const QString& text, DefaultAnswer preset) override;
    std::optional<QString> openFile(QWidget* owner, const OpenFileSetup& setup) override;
};

} // namespace orvane
