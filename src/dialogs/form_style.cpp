#include "dialogs/form_style.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QWidget>
#include <algorithm>

namespace verifax {

QColor FieldQColor(FieldColour colour) {
  switch (colour) {
    case FieldColour::kGreen:
      return QColor(204, 255, 204);
    case FieldColour::kOrange:
      return QColor(255, 204, 102);
    case FieldColour::kSilver:
      return QColor(192, 192, 192);
    case FieldColour::kWindow:
      break;
  }
  return QApplication::palette().color(QPalette::Active, QPalette::Base);
}

void SetFieldColour(QWidget* field, FieldColour colour) {
  if (colour == FieldColour::kWindow) {
    field->setPalette(QPalette());  // back to what the style gives
    return;
  }
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, FieldQColor(colour));  // all colour groups
  if (colour == FieldColour::kSilver) {
    // Some styles draw disabled text in a grey close to silver; keep it readable.
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(96, 96, 96));
  }
  field->setPalette(palette);
}

void MakeGreyLabel(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(128, 128, 128));
  label->setPalette(palette);
  // Hidden grey labels keep their room, so the fields do not move.
  QSizePolicy policy = label->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  label->setSizePolicy(policy);
}

void MakeNotice(QLabel* label) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
  label->setPalette(palette);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  label->setAlignment(Qt::AlignCenter);
  label->setTextFormat(Qt::PlainText);
}

void FitFieldWidth(QLineEdit* edit, int chars, int design_width) {
  const QFontMetrics metrics = edit->fontMetrics();
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
  // The text, the edit's inner margins on both sides and room for the cursor.
  const QSize text(metrics.horizontalAdvance(QString(chars, QLatin1Char('0'))) + 6,
                   metrics.height());
  const QSize needed = edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit);
  edit->setFixedWidth(std::max(design_width, needed.width()));
}

QWidget* MakeOkCancelPanel(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
  auto* panel = new QWidget(dialog);
  panel->setObjectName(QStringLiteral("PBottom"));
  panel->setMinimumHeight(42);
  QStyle* style = dialog->style();
  ok =
      new QPushButton(style->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("&Ok"), panel);
  ok->setObjectName(QStringLiteral("BTN_Ok"));
  ok->setEnabled(false);
  cancel = new QPushButton(style->standardIcon(QStyle::SP_DialogCancelButton),
                           QStringLiteral("&Cancelar"), panel);
  cancel->setObjectName(QStringLiteral("BTN_Cancel"));
  // Enter in a field closes the dialog as Cancel; Enter on a focused Ok still means Ok.
  cancel->setDefault(true);
  for (QPushButton* button : {ok, cancel}) button->setMinimumSize(90, 25);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);

  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(6, 8, 6, 8);
  layout->setSpacing(4);
  layout->addStretch(1);
  layout->addWidget(ok);
  layout->addWidget(cancel);
  return panel;
}

QString WithQtLineBreaks(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace verifax
