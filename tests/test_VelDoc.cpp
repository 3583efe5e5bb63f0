#include "CommonVelDocEdit_FM.h"
#include "DocTestData.h"
#include "ModalHelper.h"
#include "VelDoc.h"
#include "VelDocKinds.h"
#include "VelDoc_Common.h"
#include "VelDoc_Type1.h"
#include "VelDoc_Type2.h"
#include "VelDoc_Type3.h"
#include "VelDoc_Type3_Edit_FM.h"

#include <QTest>

namespace {

int g_lastArgument = 0;
int echo(int argument) {
    g_lastArgument = argument;
    return argument * 10;
}
int negative(int) {
    return -7;
}

struct MethodRow {
    QString code, caption, hint;
    TVelDocHandler handler;
    bool operator==(const MethodRow&) const = default;
};
void PrintTo(const MethodRow& r, std::ostream* os) {
    *os << r.code.toStdString() << " / " << r.caption.toStdString() << " / "
        << r.hint.toStdString();
}

QList<MethodRow> methodsOf(const TVelDoc& doc) {
    QList<MethodRow> rows;
    for (const auto& m : doc.Methods) {
        rows << MethodRow{m->Code, m->Caption, m->Hint, m->Handler};
    }
    return rows;
}

}  // namespace

TEST(VelDoc, AddMethodRefusesAnEmptyHandlerAndGivesPositions) {
    TVelDoc doc;
    doc.TypeCode = 5;
    EXPECT_EQ(
        doc.AddMethod(QStringLiteral("NEW"), QStringLiteral("a"), QStringLiteral("b"), nullptr),
        -1);
    EXPECT_TRUE(doc.Methods.empty());
    EXPECT_EQ(doc.AddMethod(QStringLiteral("NEW"), {}, {}, echo), 0);
    EXPECT_EQ(doc.AddMethod(QStringLiteral("EDIT"), {}, {}, echo), 1);
    EXPECT_EQ(doc.AddMethod(QStringLiteral("X"), {}, {}, nullptr), -1);
    EXPECT_EQ(doc.AddMethod(QStringLiteral("DELETE"), {}, {}, echo), 2);
    EXPECT_EQ(doc.AddMethod(QStringLiteral("APPLY"), {}, {}, echo), 3);
    EXPECT_EQ(doc.Methods.size(), 4u);
}

TEST(VelDoc, FindMethodMatchesExactlyAndTakesTheFirstOfTwins) {
    TVelDoc doc;
    doc.AddMethod(QStringLiteral("NEW"), QStringLiteral("first"), {}, echo);
    doc.AddMethod(QStringLiteral("NEW"), QStringLiteral("second"), {}, negative);
    ASSERT_NE(doc.FindMethod(QStringLiteral("NEW")), nullptr);
    EXPECT_EQ(doc.FindMethod(QStringLiteral("NEW"))->Caption, QStringLiteral("first"));
    EXPECT_EQ(doc.FindMethod(QStringLiteral("new")), nullptr);
    EXPECT_EQ(doc.FindMethod(QStringLiteral("NEW ")), nullptr);
    EXPECT_EQ(doc.FindMethod(QString()), nullptr);
}

TEST(VelDoc, ExecutePassesTheArgumentAndTheResultUnchanged) {
    TVelDoc doc;
    doc.TypeCode = 9;
    doc.AddMethod(QStringLiteral("EDIT"), {}, {}, echo);
    doc.AddMethod(QStringLiteral("APPLY"), {}, {}, negative);
    EXPECT_EQ(doc.RunMethod(QStringLiteral("EDIT"), 42), 420);
    EXPECT_EQ(g_lastArgument, 42);
    EXPECT_EQ(doc.RunMethod(QStringLiteral("APPLY"), 1), -7);
}

TEST(VelDoc, AMethodWithoutHandlerSaysItIsNotSupported) {
    ModalHelper mh;
    TVelDocMethod method;
    method.Code = QStringLiteral("PRINT");
    method.Caption = QStringLiteral("Печать");
    EXPECT_EQ(method.Execute(5), 0);
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Метод \"Печать\" не поддерживается.")});
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Information);
    EXPECT_EQ(mh.boxes().first().buttons, QStringList{QStringLiteral("ОК")});
}

TEST(VelDoc, UnknownMethodsAndTypesAreReportedAndGiveZero) {
    ModalHelper mh;
    EXPECT_EQ(VelDocLib.RunMethod(2, 0, QStringLiteral("new")), 0);
    EXPECT_EQ(VelDocLib.RunMethod(7, 0, QStringLiteral("NEW")), 0);
    EXPECT_EQ(VelDocLib.RunMethod(-1, 0, QStringLiteral("NEW")), 0);  // a folder
    EXPECT_EQ(VelDocLib.RunMethod(3, 0, QStringLiteral("REFRESH")), 0);
    EXPECT_EQ(mh.texts(),
              (QStringList{
                  QStringLiteral("Метод \"new\" у типа документа с кодом \"2\" не найден."),
                  QStringLiteral("Тип документа с кодом \"7\" не найден."),
                  QStringLiteral("Тип документа с кодом \"-1\" не найден."),
                  QStringLiteral("Метод \"REFRESH\" у типа документа с кодом \"3\" не найден.")}));
    EXPECT_TRUE(mh.unexpected().isEmpty());
}

TEST(VelDocLib, HoldsTheThreeKindsInTheirOrderWithTheirMethods) {
    RegisterVelDocKinds();  // a second call changes nothing
    ASSERT_EQ(VelDocLib.Docs.size(), 3u);
    EXPECT_EQ(VelDocLib.Docs[0]->TypeCode, 2);
    EXPECT_EQ(VelDocLib.Docs[1]->TypeCode, 1);
    EXPECT_EQ(VelDocLib.Docs[2]->TypeCode, 3);
    EXPECT_EQ(VelDocLib.FindDoc(1), VelDocLib.Docs[1].get());
    EXPECT_EQ(VelDocLib.FindDoc(4), nullptr);

    const QString create = QStringLiteral("Создать документ");
    const QString change = QStringLiteral("Изменить документ");
    const QString remove = QStringLiteral("Удалить/Откатить документ");
    const QString apply = QStringLiteral("Принять документ");
    EXPECT_EQ(methodsOf(*VelDocLib.FindDoc(2)),
              (QList<MethodRow>{
                  {QStringLiteral("NEW"), QStringLiteral("Создать \"Приход\""), create,
                   OpenIncomeEditor},
                  {QStringLiteral("EDIT"), QStringLiteral("Изменить"), change, OpenIncomeEditor},
                  {QStringLiteral("APPLY"), QStringLiteral("APPLY"), apply, ApplyCommonVelDoc},
                  {QStringLiteral("DELETE"), remove, remove, DeleteCommonVelDoc}}));
    EXPECT_EQ(methodsOf(*VelDocLib.FindDoc(1)),
              (QList<MethodRow>{
                  {QStringLiteral("NEW"), QStringLiteral("Создать \"Расход\""), create,
                   OpenExpenseEditor},
                  {QStringLiteral("EDIT"), QStringLiteral("Изменить"), change, OpenExpenseEditor},
                  {QStringLiteral("DELETE"), QStringLiteral("Удалить/Откатить"), remove,
                   DeleteCommonVelDoc},
                  {QStringLiteral("APPLY"), QStringLiteral("APPLY"), apply, ApplyCommonVelDoc}}));
    EXPECT_EQ(methodsOf(*VelDocLib.FindDoc(3)),
              (QList<MethodRow>{
                  {QStringLiteral("NEW"), QStringLiteral("Создать \"Перенос\""), create,
                   OpenTransferEditor},
                  {QStringLiteral("EDIT"), QStringLiteral("Изменить"), change, OpenTransferEditor},
                  {QStringLiteral("DELETE"), QStringLiteral("Удалить/Откатить"), remove,
                   DeleteTransferDoc},
                  {QStringLiteral("APPLY"), QStringLiteral("APPLY"), apply, ApplyTransferDoc}}));
}

class VelDocRun : public DocTest {};

TEST_F(VelDocRun, NewAndEditOpenTheEditorOfTheirKind) {
    addAccounts();
    const int expense = addDoc(1, m_cash, "12.5"_m);
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Приход: Создать"));
        f->BitBtn2->click();
    });
    mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Расход: Изменить"));
        EXPECT_DOUBLE_EQ(f->CurrencyEdit1->value(), 12.5);
        f->BitBtn2->click();
    });
    mh.onNext<TVelDoc_Type3_EditFM>([](TVelDoc_Type3_EditFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Перенос: Создать"));
        f->BitBtn2->click();
    });
    EXPECT_EQ(VelDocLib.RunMethod(2, 0, QStringLiteral("NEW")), 0);
    EXPECT_EQ(VelDocLib.RunMethod(1, expense, QStringLiteral("EDIT")), 0);
    EXPECT_EQ(VelDocLib.RunMethod(3, 0, QStringLiteral("NEW")), 0);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty());
}

TEST_F(VelDocRun, NewTransferSavedGivesTheNewId) {
    addAccounts();
    ModalHelper mh;
    mh.onNext<TVelDoc_Type3_EditFM>([this](TVelDoc_Type3_EditFM* f) {
        f->rxcHA1->setValue(QString::number(m_card));
        f->rxcHA2->setValue(QString::number(m_cash));
        f->ceValue1->setValue(700);
        f->ceValue2->setValue(700);
        f->BitBtn1->click();
    });
    const int id = VelDocLib.RunMethod(3, 0, QStringLiteral("NEW"));
    EXPECT_GT(id, 0);
    EXPECT_EQ(scalar(QStringLiteral("select max(IdDocument) from Document")).toInt(), id);
    EXPECT_EQ(scalar(QStringLiteral("select CodTypeDocument from Document")).toInt(), 3);
    EXPECT_TRUE(mh.boxes().isEmpty());
}
