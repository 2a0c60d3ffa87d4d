#include "dialogs/company_info_form.h"

#include <QFrame>
#include <QGridLayout>
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

QLabel* GreyLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  MakeGreyLabel(label);
  // A long value is cut at the field's width instead of widening the dialog.
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  return label;
}

QLineEdit* Edit(const char* name, int max_length, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  if (max_length > 0) edit->setMaxLength(max_length);
  return edit;
}

void SetText(QLineEdit* edit, const std::string& text) {
  const QSignalBlocker quiet(edit);  // filling is no change by the user
  edit->setText(FromEngineText(text));
}

}  // namespace

TCompanyInfoFRM::TCompanyInfoFRM(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TCompanyInfoFRM"));
  setWindowTitle(QStringLiteral("Informação Empresa"));
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

  PBottom = MakeOkCancelPanel(this, BTN_Ok, BTN_Cancel);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

  Label2 = Caption(QStringLiteral("Código Postal"), "Label2", Panel1);
  LPostalCode4 = GreyLabel("LPostalCode4", Panel1);
  EPostalCode4 = Edit("EPostalCode4", CompanyInfoModel::kPostalCode4MaxLength, Panel1);
  Label3 = new QLabel(QStringLiteral("-"), Panel1);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setAlignment(Qt::AlignCenter);
  Label3->setFixedWidth(17);
  EPostalCode3 = Edit("EPostalCode3", CompanyInfoModel::kPostalCode3MaxLength, Panel1);
  LPostalCode3 = GreyLabel("LPostalCode3", Panel1);
  Label4 = Caption(QStringLiteral("Cidade"), "Label4", Panel1);
  LCity = GreyLabel("LCity", Panel1);
  ECity = Edit("ECity", 0, Panel1);
  ECity->setMinimumWidth(293);
  Label1 = Caption(QStringLiteral("Nº Contribuinte:"), "Label1", Panel1);
  ENif = Edit("ENif", CompanyInfoModel::kNifMaxLength, Panel1);
  LNif = GreyLabel("LNif", Panel1);
  FitFieldWidth(EPostalCode4, CompanyInfoModel::kPostalCode4MaxLength, 34);
  FitFieldWidth(EPostalCode3, CompanyInfoModel::kPostalCode3MaxLength, 28);
  FitFieldWidth(ENif, CompanyInfoModel::kNifMaxLength, 79);
  for (QLabel* label : {LCity, LNif}) label->setContentsMargins(0, 4, 0, 0);

  // Each field has its grey label above it; the captions stand left of the fields.
  auto* grid = new QGridLayout(Panel1);
  grid->setContentsMargins(7, 2, 6, 12);
  grid->setHorizontalSpacing(0);
  grid->setVerticalSpacing(0);
  grid->setColumnMinimumWidth(0, 84);
  grid->setColumnStretch(4, 1);
  grid->addWidget(LPostalCode4, 0, 1);
  grid->addWidget(LPostalCode3, 0, 3);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(EPostalCode4, 1, 1);
  grid->addWidget(Label3, 1, 2);
  grid->addWidget(EPostalCode3, 1, 3);
  grid->addWidget(LCity, 2, 1, 1, 4);
  grid->addWidget(Label4, 3, 0);
  grid->addWidget(ECity, 3, 1, 1, 4);
  grid->addWidget(LNif, 4, 1, 1, 3);
  grid->addWidget(Label1, 5, 0);
  grid->addWidget(ENif, 5, 1, 1, 3, Qt::AlignLeft);
  LNif->setFixedWidth(ENif->minimumWidth());

  Panel2 = new QWidget(this);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setMinimumSize(390, 41);
  LNotice = new QLabel(WithQtLineBreaks(FromEngineText(kNotice)), Panel2);
  LNotice->setObjectName(QStringLiteral("LNotice"));
  MakeNotice(LNotice);
  auto* notice_layout = new QVBoxLayout(Panel2);
  notice_layout->setContentsMargins(4, 4, 4, 4);
  notice_layout->addWidget(LNotice);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // no resizing
  layout->addWidget(Panel2);
  layout->addWidget(Panel1);
  layout->addWidget(PBottom);

  // Tab order as designed: the buttons' panel first, then the fields.
  setTabOrder(BTN_Ok, BTN_Cancel);
  setTabOrder(BTN_Cancel, EPostalCode4);
  setTabOrder(EPostalCode4, EPostalCode3);
  setTabOrder(EPostalCode3, ECity);
  setTabOrder(ECity, ENif);

  connect(EPostalCode4, &QLineEdit::textChanged, this,
          &TCompanyInfoFRM::EPostalCode4PropertiesChange);
  connect(EPostalCode3, &QLineEdit::textChanged, this,
          &TCompanyInfoFRM::EPostalCode3PropertiesChange);
  connect(ECity, &QLineEdit::textChanged, this, &TCompanyInfoFRM::ECityChange);
  connect(ENif, &QLineEdit::textChanged, this, &TCompanyInfoFRM::ENifPropertiesChange);
}

void TCompanyInfoFRM::Fill(const TCompany& company) {
  model_.Fill(company);

  SetText(EPostalCode4, model_.postal_code4());
  SetText(EPostalCode3, model_.postal_code3());
  SetText(ECity, model_.city());
  SetText(ENif, model_.nif());

  const bool address = model_.address_enabled();
  for (QLineEdit* edit : {EPostalCode4, EPostalCode3, ECity}) edit->setEnabled(address);
  LPostalCode4->setText(FromEngineText(model_.postal_code4_label()));
  LPostalCode3->setText(FromEngineText(model_.postal_code3_label()));
  LCity->setText(FromEngineText(model_.city_label()));
  for (QLabel* label : {LPostalCode4, LPostalCode3, LCity})
    label->setVisible(model_.address_labels_visible());

  ENif->setEnabled(model_.nif_enabled());
  LNif->setText(FromEngineText(model_.nif_label()));
  LNif->setVisible(model_.nif_label_visible());

  ShowVerdict();

  // The cursor starts in the first field that is asked.
  if (address) {
    EPostalCode4->setFocus();
  } else if (model_.nif_enabled()) {
    ENif->setFocus();
  }
}

void TCompanyInfoFRM::EPostalCode4PropertiesChange(const QString& text) {
  model_.SetPostalCode4(ToEngineText(text));
  ShowVerdict();
}

void TCompanyInfoFRM::EPostalCode3PropertiesChange(const QString& text) {
  model_.SetPostalCode3(ToEngineText(text));
  ShowVerdict();
}

void TCompanyInfoFRM::ECityChange(const QString& text) {
  model_.SetCity(ToEngineText(text));
  ShowVerdict();
}

void TCompanyInfoFRM::ENifPropertiesChange(const QString& text) {
  model_.SetNif(ToEngineText(text));
  ShowVerdict();
}

void TCompanyInfoFRM::ShowVerdict() {
  SetFieldColour(EPostalCode4, model_.postal_code_colour());
  SetFieldColour(EPostalCode3, model_.postal_code_colour());
  SetFieldColour(ECity, model_.city_colour());
  SetFieldColour(ENif, model_.nif_colour());
  BTN_Ok->setEnabled(model_.ok_enabled());
}

void TCompanyInfoFRM::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);  // Qt's own placement first; the stored one wins
  if (!event->spontaneous()) FormShow();
}

void TCompanyInfoFRM::FormShow() {
  LoadWidgetPlacementQuietly(*this, "VERIFAX_COMPANY");
}

void TCompanyInfoFRM::done(int result) {
  if (isVisible()) FormClose();
  QDialog::done(result);
}

void TCompanyInfoFRM::FormClose() {
  SaveWidgetPlacementQuietly(*this, "VERIFAX_COMPANY");
}

bool EditCompanyInfo(QWidget* parent, const TCompany& company, TCompany& answer) {
  TCompanyInfoFRM dialog(parent);
  dialog.Fill(company);
  const int result = dialog.exec();
  answer = dialog.Answer();
  return result == QDialog::Accepted;
}

}  // namespace verifax
