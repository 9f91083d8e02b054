// The small dialogs that ask for a pattern's name: New Pattern (an empty field) and Rename
// Pattern (the current name, selected). The field holds no more than a pattern name keeps.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

class QLineEdit;

namespace tunemill {

enum class NameDialogKind { NEW_PATTERN, RENAME_PATTERN };

class NameDialog : public QDialog {
    Q_OBJECT

  public:
    NameDialog(NameDialogKind kind, const QString& name, QWidget* parent);
    QString name() const;
    QLineEdit* field() const { return field_; }

  private:
    QLineEdit* field_ = nullptr;
};

// Runs the dialog; the name typed, or none after Cancel.
std::optional<QString> ask_pattern_name(NameDialogKind kind, const QString& name, QWidget* parent);

} // namespace tunemill
