#pragma once

#include <QColor>

#include "dialogs/field_colour.h"

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace verifax {

/// The colour of a field state; kWindow gives the system's window (base) colour.
QColor FieldQColor(FieldColour colour);

/// Gives an edit or combo box the background of `colour`, in every state (a silver field
/// is a disabled one).
void SetFieldColour(QWidget* field, FieldColour colour);

/// The grey labels that show, above a field, the value found in the document.
void MakeGreyLabel(QLabel* label);

/// The red bold notices at the top of the correction dialogs, centred both ways.
void MakeNotice(QLabel* label);

/// Fixes an edit's width to what `chars` digits need in the current font, never less
/// than `design_width`.
void FitFieldWidth(QLineEdit* edit, int chars, int design_width);

/// The correction dialogs' bottom panel: "&Ok" (disabled, accepts) and "&Cancelar" (the
/// default button, rejects), right-aligned. Esc rejects the dialog on its own.
QWidget* MakeOkCancelPanel(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

/// Replaces each CR LF by the line break that Qt shows.
QString WithQtLineBreaks(QString text);

}  // namespace verifax
