#pragma once

#include "Money.h"

#include <QDate>
#include <QList>
#include <QString>

class DbConnection;

// A document that repeats: what each document made from it holds, and the
// recurrence rule (an RFC 5545 RRULE) that says on which dates, counted from
// `start`.
struct RegularTemplate {
    qint64 id = 0;
    QString caption;
    int type = 1;  // 1 expense, 2 income, 3 transfer
    qint64 idHeadAccount = 0;
    Money amount;           // positive
    qint64 idCategory = 0;  // 0: none
    qint64 idContrAgent = 0;
    QString note;
    // A transfer: the account that takes the money, its amount there, and
    // the rates of the two accounts.
    qint64 idHeadAccount2 = 0;
    Money amount2;
    double kurs1 = 0;
    double kurs2 = 0;
    QString rule;
    QDate start;
    bool applyAtOnce = false;  // its documents are applied as they are made
};

// One date of a template that has no document yet.
struct DueOccurrence {
    RegularTemplate regular;
    QDate date;
    qint64 idDocument = 0;  // once made
};

// The templates of the books, by number; none in books that have never had one.
QList<RegularTemplate> regularTemplates(DbConnection& connection);
// Writes a new template after checking its rule, kind, accounts and amounts;
// gives its number. Raises AppError with what is wrong, writing nothing.
qint64 addRegularTemplate(DbConnection& connection, const RegularTemplate& regular);
// Rewrites template `id` after the same checks as a new one; false when
// there is no such template. When its rule or start changes, the dates the
// new rule gives before `changedFrom` (if valid) count as made, without a
// document: a change applies from then on and never makes past documents.
// Raises AppError with what is wrong, writing nothing.
bool updateRegularTemplate(DbConnection& connection, const RegularTemplate& regular,
                           QDate changedFrom = QDate());
// Gives books made before templates existed their tables.
void ensureRegularTables(DbConnection& connection);
// Deletes a template; the documents made from it stay. False when there is no
// such template.
bool removeRegularTemplate(DbConnection& connection, qint64 id);

// Works out again the date from which a template is next due and keeps it
// with the template; a program that writes a template calls it in the same
// transaction. Gives older books the place to keep it.
void refreshRegularNextDate(DbConnection& connection, qint64 id);

// The dates of every template from its start up to `today` that have not had
// a document made, in order of date; nothing is written.
QList<DueOccurrence> dueOccurrences(DbConnection& connection, QDate today);

// Whether a template may have a date due by `today`, at the cost of one look
// at the templates; nothing is written.
bool anyRegularDue(DbConnection& connection, QDate today);

// Makes each due date of every template a new document (status "new", dated
// on its own date), all in one transaction; the documents of a template to be
// applied at once are applied in it. Each date is made once: a date another
// program made meanwhile is skipped, and a date whose document the family
// deleted is not made again. Gives what was made.
QList<DueOccurrence> createDueDocuments(DbConnection& connection, QDate today);
