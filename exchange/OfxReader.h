#pragma once

#include "Statement.h"

// OFX and QFX, versions 1 (SGML) and 2 (XML), through libofx.
class OfxReader : public StatementReader {
public:
    Statement read(const QString& path) const override;
};
