#pragma once

#include "BookTypeEdit.h"

// Adds or changes one type of category.
class TTypeCategoryEditFM : public TBookTypeEditFM {
    Q_OBJECT
public:
    explicit TTypeCategoryEditFM(QWidget* parent = nullptr);
};

// Gives the id of the type saved, or 0 when the editor was cancelled.
int EditTypeCategory(int IdTypeCategory);
