#pragma once

#include "DBLookupCombo.h"
#include "DateEdit.h"
#include "Db.h"
#include "ModalForm.h"

#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

// Which rate: one unit of IdValuta in IdValutaBase on a day.
struct CurrencyRateKey {
    qint64 IdValuta = 0;
    qint64 IdValutaBase = 0;
    QDate DateRate;

    bool isNull() const { return IdValuta == 0; }
    bool operator==(const CurrencyRateKey&) const = default;
};

// Sets `head` ("select ... from CurrencyRate", "delete from CurrencyRate") as
// the statement, narrowed to the rate of `key`, and binds the key.
void setRateStatement(DbQuery& q, const QString& head, const CurrencyRateKey& key);

// Adds or changes one exchange rate: the currency, the base currency it is
// priced in, the day and the price of one unit ("90,1234", "0.00512345").
class TCurrencyRateEditFM : public ModalForm {
    Q_OBJECT
public:
    explicit TCurrencyRateEditFM(QWidget* parent = nullptr);

    QLabel* Label1;
    DBLookupCombo* rxcValuta;
    QToolButton* SpeedButton1;
    QLabel* Label2;
    DBLookupCombo* rxcValutaBase;
    QToolButton* SpeedButton2;
    QLabel* Label3;
    DateEdit* DateEdit1;
    QLabel* Label4;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    DbQuery* qrValuta;
    DbQuery* qrValutaBase;

    // Null while the rate is new; the saved rate's key once it is saved.
    CurrencyRateKey Key;

    void FormFill(const CurrencyRateKey& key);
    void BitBtn1Click();
    void BitBtn2Click();

private:
    // Chooses a currency in the currency book, where one can also be added.
    void chooseInBook(DBLookupCombo* lookup);
    bool refuse(const QString& text, QWidget* focus);
    bool exists(const CurrencyRateKey& key);
};

// Opens the rate editor for a rate (a null key for a new one); gives the key
// of the rate saved, or a null key when the editor was left without saving.
CurrencyRateKey EditCurrencyRate(const CurrencyRateKey& key);
