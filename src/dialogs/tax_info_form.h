#pragma once

#include <QDialog>
#include <string_view>

#include "dialogs/tax_info_model.h"
#include "inspection/records.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace verifax {

/// The tax rate dialog ("Informação Taxa"): the widgets over TaxInfoModel, which decides
/// the preselection, the combo box's colour and whether Ok may be pressed.
class TTaxInfoFRM : public QDialog {
  Q_OBJECT

 public:
  /// The red notice above the fields, each line ended by CR LF.
  static constexpr std::string_view kNotice =
      "É aconselhável atualizar os dados das taxas  \r\n"
      "nas aplicações que geraram o ficheiro SAF-T.\r\n";

  explicit TTaxInfoFRM(QWidget* parent = nullptr);

  /// Shows the question: the rejected code, the description and the percentage, with
  /// the model's preselection, colour and Ok.
  void Fill(const TTax& question);

  /// The answer as the model collects it; valid whichever way the dialog closed.
  TTax Answer() const { return model_.CollectAnswer(); }

  /// Stores the dialog's placement before it closes, however it closes.
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private slots:
  void CBCodeChange(const QString& text);

 private:
  void ShowVerdict();
  void FormShow();
  void FormClose();

  TaxInfoModel model_;

  QWidget* PBottom;
  QPushButton* BTN_Cancel;
  QPushButton* BTN_Ok;
  QFrame* Panel1;
  QLabel* Label2;
  QLabel* LCode;
  QLabel* Label4;
  QLineEdit* EDescription;
  QLabel* Label5;
  QLineEdit* EValue;
  QComboBox* CBCode;
  QLabel* LNotice;
};

/// Asks for a tax code in a fresh modal dialog over `parent`. `answer` gets the question
/// with the chosen code (the question's own without a choice), whichever way the dialog
/// closes; true only when it closed with Ok.
bool EditTaxInfo(QWidget* parent, const TTax& question, TTax& answer);

}  // namespace verifax
