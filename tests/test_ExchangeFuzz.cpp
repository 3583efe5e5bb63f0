// Mutated bank statements never crash or hang a reader and never leave half an
// import behind. The benchmark program runs the same checks a million times.
#include "ExchangeFuzz.h"
#include "TestDb.h"

#include <gtest/gtest.h>

TEST(ExchangeFuzz, CsvStatements) {
    EXPECT_EQ(ExchangeFuzz::checkCsv(100000), QString());
}

TEST(ExchangeFuzz, QifStatements) {
    EXPECT_EQ(ExchangeFuzz::checkQif(100000), QString());
}

// libofx reads its grammar afresh for every file (some 10 ms), so OFX gets a
// few thousand inputs here and more in the benchmark program.
TEST(ExchangeFuzz, OfxStatements) {
    EXPECT_EQ(ExchangeFuzz::checkOfx(3000), QString());
}
