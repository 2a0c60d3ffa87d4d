#include "dialogs/tax_info_form.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "dialogs/form_style.h"
#include "dialogs/qt_text.h"
#include "settings/qt_placement.h"

namespace verifax {

namespace {

QLabel* Caption(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setContentsMargins(0, 0, 6, 0);
  return label;
}

QLineEdit* ShownValue(const char* name, int width, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  edit->setReadOnly(true);
  edit->setEnabled(false);
  edit->setMinimumWidth(width);
  SetFieldColour(edit, FieldColour::kSilver);
  return edit;
}

}  // namespace

TTaxInfoFRM::TTaxInfoFRM(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TTaxInfoFRM"));
  setWindowTitle(QStringLiteral("Informação Taxa"));
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

  PBottom = MakeOkCancelPanel(this, BTN_Ok, BTN_Cancel);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

  Label2 = Caption(QStringLiteral("Código"), "Label2", Panel1);
  LCode = new QLabel(Panel1);
  LCode->setObjectName(QStringLiteral("LCode"));
  LCode->setTextFormat(Qt::PlainText);
  MakeGreyLabel(LCode);
  LCode->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  Label4 = Caption(QStringLiteral("Descrição"), "Label4", Panel1);
  EDescription = ShownValue("EDescription", 297, Panel1);
  Label5 = Caption(QStringLiteral("Valor:"), "Label5", Panel1);
  EValue = ShownValue("EValue", 138, Panel1);
  CBCode = new QComboBox(Panel1);
  CBCode->setObjectName(QStringLiteral("CBCode"));
  CBCode->setEditable(true);  // an edit field with a list
  CBCode->setInsertPolicy(QComboBox::NoInsert);
  for (std::string_view item : TaxInfoModel::Items()) CBCode->addItem(FromEngineText(item));
  CBCode->setMinimumWidth(134);
  CBCode->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

  auto* grid = new QGridLayout(Panel1);
  grid->setContentsMargins(7, 2, 6, 12);
  grid->setHorizontalSpacing(0);
  grid->setVerticalSpacing(0);
  grid->setColumnMinimumWidth(0, 84);
  grid->setColumnStretch(2, 1);
  grid->addWidget(LCode, 0, 1);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(CBCode, 1, 1);
  grid->addWidget(Label4, 3, 0);
  grid->addWidget(EDescription, 3, 1, 1, 2);
  grid->addWidget(Label5, 5, 0);
  grid->addWidget(EValue, 5, 1, 1, 2, Qt::AlignLeft);
  // The rows above the read-only fields stay empty, as high as the grey label.
  const int gap = LCode->sizeHint().height() + 4;
  grid->setRowMinimumHeight(2, gap);
  grid->setRowMinimumHeight(4, gap);

  LNotice = new QLabel(WithQtLineBreaks(FromEngineText(kNotice)), this);
  LNotice->setObjectName(QStringLiteral("LNotice"));
  MakeNotice(LNotice);
  LNotice->setMinimumSize(394, 44);
  LNotice->setContentsMargins(4, 4, 4, 0);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // no resizing
  layout->addWidget(LNotice);
  layout->addWidget(Panel1);
  layout->addWidget(PBottom);

  // Tab order as designed: the buttons' panel first, then the combo box (the two
  // read-only fields are disabled).
  setTabOrder(BTN_Ok, BTN_Cancel);
  setTabOrder(BTN_Cancel, CBCode);

  connect(CBCode, &QComboBox::editTextChanged, this, &TTaxInfoFRM::CBCodeChange);
  CBCode->lineEdit()->installEventFilter(this);
}

bool TTaxInfoFRM::eventFilter(QObject* watched, QEvent* event) {
  // The combo box's edit field keeps Enter to itself when it completes a text; here Enter
  // must reach the dialog, whose default button is Cancel. (With the list open, the list
  // gets the keys instead.)
  if (watched == CBCode->lineEdit() && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      keyPressEvent(key);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TTaxInfoFRM::Fill(const TTax& question) {
  model_.Fill(question);
  LCode->setText(FromEngineText(model_.code_label()));
  EDescription->setText(FromEngineText(model_.description()));
  EValue->setText(FromEngineText(model_.percentage()));
  {
    const QSignalBlocker quiet(CBCode);  // the preselection is the model's own
    CBCode->setCurrentIndex(model_.selected_index());
    if (model_.selected_index() < 0) CBCode->setEditText(QString());
  }
  ShowVerdict();
  CBCode->setFocus();
}

void TTaxInfoFRM::CBCodeChange(const QString& text) {
  // Picking an item puts its text into the edit field; any other text selects nothing.
  model_.Select(CBCode->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
  ShowVerdict();
}

void TTaxInfoFRM::ShowVerdict() {
  SetFieldColour(CBCode, model_.combo_colour());
  BTN_Ok->setEnabled(model_.ok_enabled());
}

void TTaxInfoFRM::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);  // Qt's own placement first; the stored one wins
  if (!event->spontaneous()) FormShow();
}

void TTaxInfoFRM::FormShow() {
  LoadWidgetPlacementQuietly(*this, "VERIFAX_TAX");
}

void TTaxInfoFRM::done(int result) {
  if (isVisible()) FormClose();
  QDialog::done(result);
}

void TTaxInfoFRM::FormClose() {
  SaveWidgetPlacementQuietly(*this, "VERIFAX_TAX");
}

bool EditTaxInfo(QWidget* parent, const TTax& question, TTax& answer) {
  TTaxInfoFRM dialog(parent);
  dialog.Fill(question);
  const int result = dialog.exec();
  answer = dialog.Answer();
  return result == QDialog::Accepted;
}

}  // namespace verifax
