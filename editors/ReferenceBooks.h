#pragma once

#include <functional>

// The reference books that the income and expense editor opens in selection
// mode. Each call gives the id of the row the user chose, or 0 when the book
// was closed without a choice. They are the program's own books; a test may
// put others in their place.
struct ReferenceBooks {
    // The accounts book (dictionary 2), given the current account.
    std::function<int(int IdHeadAccount)> chooseAccount;
    std::function<int()> chooseCategory;
    // The counterparties book, given the current counterparty.
    std::function<int(int IdContrAgent)> chooseContrAgent;
};

ReferenceBooks& referenceBooks();
// The program's own books.
ReferenceBooks defaultReferenceBooks();
