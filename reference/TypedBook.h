#pragma once

#include <QString>
#include <QStringList>

// What tells the two typed reference books apart: counterparties and
// categories are one design (types, items, and a membership table joining
// them) with their own names, texts and statements. One set of windows
// serves both and reads what is the book's own from here.
struct TypedBook {
    // Key columns of the type and item rows, and the parameter names that
    // the statements use for a type id and an item id.
    QString typeKey;
    QString itemKey;
    QString typeParam;
    QString itemParam;

    // List window.
    QString listCaption;
    QString typeGroupCaption;
    QString itemGroupCaption;
    QString typeInUse;
    // Said when an item is to be added while the book has no type yet.
    QString noTypeYet;
    bool listCentredOnDesktop = false;
    // Type editor.
    QString typeNewCaption;
    QString typeChangeCaption;
    // Item editor.
    QString itemNewCaption;
    QString itemChangeCaption;
    QString noTypeIncluded;

    // Statements, line by line.
    QStringList typeList;
    QStringList itemList;
    QStringList typeCount;
    QStringList typeDelete;
    QStringList itemDeleteMemberships;
    QStringList itemDelete;
    QStringList typeRead;
    QStringList typeInsert;
    QStringList typeUpdate;
    QStringList includedTypes;
    QStringList availableTypes;
    QStringList includeType;
    QStringList excludeType;
    QStringList itemRead;
    QStringList itemInsert;
    QStringList itemUpdate;
    QStringList newId;
    QStringList placeholderToItem;
    QStringList placeholderDrop;
};

const TypedBook& contrAgentBook();
const TypedBook& categoryBook();
