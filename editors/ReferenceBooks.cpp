#include "ReferenceBooks.h"

ReferenceBooks& referenceBooks() {
    static ReferenceBooks books{[](int) { return 0; }, [] { return 0; }, [](int) { return 0; }};
    return books;
}
