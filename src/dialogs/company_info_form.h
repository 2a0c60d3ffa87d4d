#pragma once

#include <QDialog>
#include <string_view>

#include "dialogs/company_info_model.h"
#include "inspection/records.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace verifax {

/// The company data dialog ("Informação Empresa"): the widgets over CompanyInfoModel,
/// which decides what they show, their colours and whether Ok may be pressed.
class TCompanyInfoFRM : public QDialog {
  Q_OBJECT

 public:
  /// The red notice above the fields, two lines joined by CR LF.
  static constexpr std::string_view kNotice =
      "Corrija também os dados da empresa\r\n"
      "na aplicação que gerou o ficheiro SAF-T.";

  explicit TCompanyInfoFRM(QWidget* parent = nullptr);

  /// Shows the question as the model fills it: the fields, the grey labels, which parts
  /// are asked, the colours and Ok.
  void Fill(const TCompany& company);

  /// The answer as the model collects it; valid whichever way the dialog closed.
  TCompany Answer() const { return model_.CollectAnswer(); }

  /// Stores the dialog's placement before it closes, however it closes.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void EPostalCode4PropertiesChange(const QString& text);
  void EPostalCode3PropertiesChange(const QString& text);
  void ECityChange(const QString& text);
  void ENifPropertiesChange(const QString& text);

 private:
  // The colours and Ok as the model last verified them.
  void ShowVerdict();
  void FormShow();
  void FormClose();

  CompanyInfoModel model_;

  QWidget* PBottom;
  QPushButton* BTN_Cancel;
  QPushButton* BTN_Ok;
  QFrame* Panel1;
  QLabel* Label2;
  QLabel* LPostalCode4;
  QLineEdit* EPostalCode4;
  QLabel* Label3;
  QLineEdit* EPostalCode3;
  QLabel* LPostalCode3;
  QLabel* Label4;
  QLabel* LCity;
  QLineEdit* ECity;
  QLabel* Label1;
  QLineEdit* ENif;
  QLabel* LNif;
  QWidget* Panel2;
  QLabel* LNotice;
};

/// Asks for the company data in a fresh modal dialog over `parent`. `answer` gets the
/// trimmed city, postal code and tax number whichever way the dialog closes; true only
/// when it closed with Ok.
bool EditCompanyInfo(QWidget* parent, const TCompany& company, TCompany& answer);

}  // namespace verifax
