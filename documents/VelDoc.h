#pragma once

#include <QString>
#include <memory>
#include <vector>

// A method's routine: takes the document id (0 for "NEW") and returns the id
// of the document to show when data changed, else 0.
using TVelDocHandler = int (*)(int);

// One method of one document type.
class TVelDocMethod {
public:
    TVelDocHandler Handler = nullptr;
    QString Code;     // compared exactly: "new" is not "NEW"
    QString Caption;  // shown in the browser's "NEW" drop-down list
    QString Hint;     // tool-tip of the method's button

    // Runs the handler; without one, says so and gives 0.
    int Execute(int Argument) const;
};

// One document type and its methods, in the order they were added.
class TVelDoc {
public:
    std::vector<std::unique_ptr<TVelDocMethod>> Methods;
    int TypeCode = 0;

    // Appends a method and gives its position; an empty handler adds nothing
    // and gives -1.
    int AddMethod(const QString& Code, const QString& Caption, const QString& Hint,
                  TVelDocHandler Handler);
    // The first method whose code equals `Code` character for character.
    TVelDocMethod* FindMethod(const QString& Code) const;
    // Runs the method; an unknown code is reported and gives 0.
    int RunMethod(const QString& Code, int Argument) const;
};

// The registry of document types, filled once while the program loads.
class TVelDocLib {
public:
    std::vector<std::unique_ptr<TVelDoc>> Docs;

    // The first registered type with this code, or nullptr.
    TVelDoc* FindDoc(int TypeCode) const;
    // Runs a method of a type; an unknown type is reported and gives 0.
    int RunMethod(int TypeCode, int Argument, const QString& Code) const;
};

extern TVelDocLib VelDocLib;

// Appends a type, already filled with its methods, to VelDocLib.
bool RegisterVelDoc(std::unique_ptr<TVelDoc> Doc);
