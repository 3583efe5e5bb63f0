#include "ReferenceBooks.h"

#include "Category_FM.h"
#include "ContrAgent_FM.h"
#include "Dict_FM.h"

ReferenceBooks defaultReferenceBooks() {
    return ReferenceBooks{
        [](int IdHeadAccount) { return ShowDictFM(true, 2, IdHeadAccount); },
        [] { return ShowCategoryFM(true); },
        [](int IdContrAgent) { return ShowContrAgentFM(true, IdContrAgent); },
    };
}

ReferenceBooks& referenceBooks() {
    static ReferenceBooks books = defaultReferenceBooks();
    return books;
}
