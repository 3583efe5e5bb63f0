#pragma once

#include <functional>

// The reference books that the income and expense editor opens in selection
// mode. Each call gives the id of the row the user chose, or 0 when the book
// was closed without a choice. The reference-book windows plug themselves in
// here; until then every call gives 0.
struct ReferenceBooks {
    // The accounts book (dictionary 2), standing on the given account.
    std::function<int(int IdHeadAccount)> chooseAccount;
    std::function<int()> chooseCategory;
    // The counterparties book, standing on the given counterparty.
    std::function<int(int IdContrAgent)> chooseContrAgent;
};

ReferenceBooks& referenceBooks();
