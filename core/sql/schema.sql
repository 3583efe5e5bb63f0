-- Dorsanti database: the tables, their relations and indexes.
--
-- Types: counters are INTEGER PRIMARY KEY AUTOINCREMENT (positive, never
-- reused); money is NUMERIC; date-times are TEXT "yyyy-MM-dd HH:mm:ss", and
-- document dates are stored at "00:00:00". Text the program writes is never
-- null: an empty field is the empty string.
--
-- Relations that are not declared as foreign keys, on purpose:
--  * TypeDocument.CodTypeOperation and DataAccount.CodTypeOperation name an
--    operation of group 1 when it has a sign there; an operation without a
--    sign is allowed and simply counts towards no balance.
--  * TypeDocumentColumn.CodTypeDocument may be 0: the columns of a folder that
--    has none of its own.
--  * The item column of the two membership tables holds the negated session
--    id while a new item is being edited.
--
-- sec_username compares with NOCASE, which the program replaces by a collation
-- that folds all of Unicode; passwords compare exactly. The name carries no
-- index, so that a tool that knows only the built-in NOCASE never meets an
-- index ordered by the other one.
--
-- sec_Session.sec_Owner names the process that runs a session and the side
-- file whose lock it holds, so that its life can be told also when that file
-- is gone; files made before it get it at the next sign-in.

CREATE TABLE Valuta (
    IdValuta     INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption      TEXT NOT NULL DEFAULT '',
    FullCaption  TEXT NOT NULL DEFAULT ''
);

CREATE TABLE HeadAccount (
    IdHeadAccount INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption       TEXT NOT NULL DEFAULT '',
    Note          TEXT NOT NULL DEFAULT '',
    IdValuta      INTEGER NOT NULL REFERENCES Valuta (IdValuta),
    Saldo         NUMERIC NOT NULL DEFAULT 0
);
CREATE INDEX HeadAccount_IdValuta ON HeadAccount (IdValuta);

CREATE TABLE ContrAgent (
    IdContrAgent INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption      TEXT NOT NULL DEFAULT '',
    Note         TEXT NOT NULL DEFAULT ''
);

CREATE TABLE TypeContrAgent (
    IdTypeContrAgent INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption          TEXT NOT NULL DEFAULT ''
);

CREATE TABLE TypeContrAgentItem (
    IdTypeContrAgent INTEGER NOT NULL REFERENCES TypeContrAgent (IdTypeContrAgent),
    IdContrAgent     INTEGER NOT NULL,
    PRIMARY KEY (IdTypeContrAgent, IdContrAgent)
);
CREATE INDEX TypeContrAgentItem_IdContrAgent ON TypeContrAgentItem (IdContrAgent);

CREATE TABLE Category (
    IdCategory INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption    TEXT NOT NULL DEFAULT '',
    Note       TEXT NOT NULL DEFAULT ''
);

CREATE TABLE TypeCategory (
    IdTypeCategory INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption        TEXT NOT NULL DEFAULT ''
);

CREATE TABLE TypeCategoryItem (
    IdTypeCategory INTEGER NOT NULL REFERENCES TypeCategory (IdTypeCategory),
    IdCategory     INTEGER NOT NULL,
    PRIMARY KEY (IdTypeCategory, IdCategory)
);
CREATE INDEX TypeCategoryItem_IdCategory ON TypeCategoryItem (IdCategory);

CREATE TABLE GroupOperationItem (
    CodGroupOperation INTEGER NOT NULL,
    CodTypeOperation  INTEGER NOT NULL,
    SignInGroup       NUMERIC NOT NULL,
    PRIMARY KEY (CodGroupOperation, CodTypeOperation)
);

CREATE TABLE TypeDocument (
    CodTypeDocument    INTEGER PRIMARY KEY,
    Caption            TEXT NOT NULL DEFAULT '',
    ParentTypeDocument INTEGER REFERENCES TypeDocument (CodTypeDocument),
    SQLQuery           TEXT NOT NULL DEFAULT '',
    CodTypeOperation   INTEGER
);
CREATE INDEX TypeDocument_Parent ON TypeDocument (ParentTypeDocument);

CREATE TABLE TypeStatus (
    CodTypeDocument INTEGER NOT NULL REFERENCES TypeDocument (CodTypeDocument),
    CodStatus       INTEGER NOT NULL,
    CaptionStatus   TEXT NOT NULL DEFAULT '',
    ColorStatus     INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (CodTypeDocument, CodStatus)
);

CREATE TABLE Document (
    IdDocument      INTEGER PRIMARY KEY AUTOINCREMENT,
    DateEnter       TEXT NOT NULL,
    DateDocument    TEXT NOT NULL,
    ValueDocument   NUMERIC NOT NULL,
    CodTypeDocument INTEGER NOT NULL REFERENCES TypeDocument (CodTypeDocument),
    IdHeadAccount   INTEGER NOT NULL REFERENCES HeadAccount (IdHeadAccount),
    IdCategory      INTEGER REFERENCES Category (IdCategory),
    NoteDocument    TEXT NOT NULL DEFAULT '',
    CodTypeStatus   INTEGER NOT NULL,
    IdContrAgent    INTEGER REFERENCES ContrAgent (IdContrAgent),
    DateApply       TEXT,
    ValueDocument2  NUMERIC,
    Kurs1           NUMERIC,
    Kurs2           NUMERIC,
    IdHeadAccount2  INTEGER REFERENCES HeadAccount (IdHeadAccount),
    FOREIGN KEY (CodTypeDocument, CodTypeStatus) REFERENCES TypeStatus (CodTypeDocument, CodStatus)
);
-- The browser lists by date range, for a folder or for one type.
CREATE INDEX Document_Date ON Document (DateDocument);
CREATE INDEX Document_Type_Date ON Document (CodTypeDocument, DateDocument);
-- The documents still to apply, for the look ahead of the balances: few
-- among many.
CREATE INDEX Document_New ON Document (CodTypeStatus) WHERE CodTypeStatus = 1;
-- Foreign-key checks when a reference record is deleted.
CREATE INDEX Document_IdHeadAccount ON Document (IdHeadAccount);
CREATE INDEX Document_IdHeadAccount2 ON Document (IdHeadAccount2);
CREATE INDEX Document_IdCategory ON Document (IdCategory);
CREATE INDEX Document_IdContrAgent ON Document (IdContrAgent);

CREATE TABLE DataAccount (
    CodTypeOperation INTEGER NOT NULL,
    IdDocument       INTEGER NOT NULL REFERENCES Document (IdDocument),
    DateEnter        TEXT NOT NULL,
    ValueDataAccount NUMERIC NOT NULL,
    IdHeadAccount    INTEGER NOT NULL REFERENCES HeadAccount (IdHeadAccount),
    DateDocument     TEXT NOT NULL
);
CREATE INDEX DataAccount_IdDocument ON DataAccount (IdDocument);
-- Covers the per-account sums of the balance recalculation.
CREATE INDEX DataAccount_Account ON DataAccount (IdHeadAccount, CodTypeOperation, ValueDataAccount);

-- The reports' running totals of the ledger: per account, month, operation,
-- category and counterparty (0: none), the ledger amounts in ten-thousandths
-- without their sign, and the number of ledger rows. The triggers keep them in
-- the same transaction as every write to the ledger, whatever program makes
-- it, and move a document's totals when its category or counterparty changes.
-- The index gives the reports an account's movements in date order. A file
-- made before them gets all of this at its first report or at
-- "check --repair"; the statements between the two marks are run again then.
-- ledger totals begin
CREATE TABLE IF NOT EXISTS DataAccountMonth (
    IdHeadAccount    INTEGER NOT NULL,
    Month            TEXT NOT NULL,
    CodTypeOperation INTEGER NOT NULL,
    IdCategory       INTEGER NOT NULL,
    IdContrAgent     INTEGER NOT NULL,
    Units            INTEGER NOT NULL,
    Rows             INTEGER NOT NULL,
    PRIMARY KEY (IdHeadAccount, Month, CodTypeOperation, IdCategory, IdContrAgent)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS DataAccount_Account_Date
    ON DataAccount (IdHeadAccount, DateDocument, IdDocument, CodTypeOperation, ValueDataAccount);

CREATE TRIGGER IF NOT EXISTS DataAccountMonth_Insert AFTER INSERT ON DataAccount
BEGIN
    INSERT INTO DataAccountMonth (IdHeadAccount, Month, CodTypeOperation, IdCategory,
        IdContrAgent, Units, Rows)
    VALUES (new.IdHeadAccount, substr(new.DateDocument, 1, 7), new.CodTypeOperation,
        coalesce((SELECT IdCategory FROM Document WHERE IdDocument = new.IdDocument), 0),
        coalesce((SELECT IdContrAgent FROM Document WHERE IdDocument = new.IdDocument), 0),
        cast(round(new.ValueDataAccount * 10000) AS INTEGER), 1)
    ON CONFLICT (IdHeadAccount, Month, CodTypeOperation, IdCategory, IdContrAgent)
    DO UPDATE SET Units = Units + excluded.Units, Rows = Rows + excluded.Rows;
END;

CREATE TRIGGER IF NOT EXISTS DataAccountMonth_Delete AFTER DELETE ON DataAccount
BEGIN
    INSERT INTO DataAccountMonth (IdHeadAccount, Month, CodTypeOperation, IdCategory,
        IdContrAgent, Units, Rows)
    VALUES (old.IdHeadAccount, substr(old.DateDocument, 1, 7), old.CodTypeOperation,
        coalesce((SELECT IdCategory FROM Document WHERE IdDocument = old.IdDocument), 0),
        coalesce((SELECT IdContrAgent FROM Document WHERE IdDocument = old.IdDocument), 0),
        -cast(round(old.ValueDataAccount * 10000) AS INTEGER), -1)
    ON CONFLICT (IdHeadAccount, Month, CodTypeOperation, IdCategory, IdContrAgent)
    DO UPDATE SET Units = Units + excluded.Units, Rows = Rows + excluded.Rows;
    DELETE FROM DataAccountMonth WHERE Rows = 0 AND Units = 0
        AND IdHeadAccount = old.IdHeadAccount AND Month = substr(old.DateDocument, 1, 7)
        AND CodTypeOperation = old.CodTypeOperation;
END;

CREATE TRIGGER IF NOT EXISTS DataAccountMonth_Update AFTER UPDATE ON DataAccount
BEGIN
    INSERT INTO DataAccountMonth (IdHeadAccount, Month, CodTypeOperation, IdCategory,
        IdContrAgent, Units, Rows)
    SELECT r.IdHeadAccount, substr(r.DateDocument, 1, 7), r.CodTypeOperation,
        coalesce(d.IdCategory, 0), coalesce(d.IdContrAgent, 0),
        r.Factor * cast(round(r.ValueDataAccount * 10000) AS INTEGER), r.Factor
    FROM (SELECT -1 AS Factor, old.IdHeadAccount AS IdHeadAccount,
            old.DateDocument AS DateDocument, old.CodTypeOperation AS CodTypeOperation,
            old.ValueDataAccount AS ValueDataAccount, old.IdDocument AS IdDocument
          UNION ALL
          SELECT 1, new.IdHeadAccount, new.DateDocument, new.CodTypeOperation,
            new.ValueDataAccount, new.IdDocument) r
    LEFT JOIN Document d ON d.IdDocument = r.IdDocument
    WHERE true
    ON CONFLICT (IdHeadAccount, Month, CodTypeOperation, IdCategory, IdContrAgent)
    DO UPDATE SET Units = Units + excluded.Units, Rows = Rows + excluded.Rows;
    DELETE FROM DataAccountMonth WHERE Rows = 0 AND Units = 0
        AND IdHeadAccount = old.IdHeadAccount AND Month = substr(old.DateDocument, 1, 7)
        AND CodTypeOperation = old.CodTypeOperation;
END;

CREATE TRIGGER IF NOT EXISTS DataAccountMonth_Document
AFTER UPDATE OF IdCategory, IdContrAgent ON Document
WHEN old.IdCategory IS NOT new.IdCategory OR old.IdContrAgent IS NOT new.IdContrAgent
BEGIN
    INSERT INTO DataAccountMonth (IdHeadAccount, Month, CodTypeOperation, IdCategory,
        IdContrAgent, Units, Rows)
    SELECT da.IdHeadAccount, substr(da.DateDocument, 1, 7), da.CodTypeOperation,
        f.IdCategory, f.IdContrAgent,
        f.Factor * cast(round(da.ValueDataAccount * 10000) AS INTEGER), f.Factor
    FROM DataAccount da
    CROSS JOIN (SELECT -1 AS Factor, coalesce(old.IdCategory, 0) AS IdCategory,
            coalesce(old.IdContrAgent, 0) AS IdContrAgent
          UNION ALL
          SELECT 1, coalesce(new.IdCategory, 0), coalesce(new.IdContrAgent, 0)) f
    WHERE da.IdDocument = new.IdDocument
    ON CONFLICT (IdHeadAccount, Month, CodTypeOperation, IdCategory, IdContrAgent)
    DO UPDATE SET Units = Units + excluded.Units, Rows = Rows + excluded.Rows;
    DELETE FROM DataAccountMonth WHERE Rows = 0 AND Units = 0
        AND IdCategory = coalesce(old.IdCategory, 0)
        AND IdContrAgent = coalesce(old.IdContrAgent, 0)
        AND (IdHeadAccount, Month, CodTypeOperation) IN (SELECT da.IdHeadAccount,
            substr(da.DateDocument, 1, 7), da.CodTypeOperation FROM DataAccount da
            WHERE da.IdDocument = new.IdDocument);
END;
-- ledger totals end

-- Statement lines imported as documents, so that no line is imported twice
-- into its account. LineKey is the bank's own id of the line (OFX FITID), or
-- its date, amount, description and how many equal lines came before it. A
-- deleted document takes its row along, and its line may be imported again. A
-- file made before imports existed gets this table at its first import.
CREATE TABLE ImportedLine (
    IdHeadAccount INTEGER NOT NULL REFERENCES HeadAccount (IdHeadAccount),
    LineKey       TEXT NOT NULL,
    IdDocument    INTEGER NOT NULL REFERENCES Document (IdDocument) ON DELETE CASCADE,
    PRIMARY KEY (IdHeadAccount, LineKey)
) WITHOUT ROWID;
CREATE INDEX ImportedLine_IdDocument ON ImportedLine (IdDocument);

-- Documents that repeat by a rule: each a template of an expense, income or
-- transfer, with an RFC 5545 recurrence rule (RRULE) counted from DateStart.
-- ApplyAtOnce: the documents made from it are applied as they are made.
-- DateNext: its first date with no document made yet, kept so that a sign-in
-- finds what is due without following every rule; null until worked out.
-- RegularOccurrence ties each date of a template to the document made for it;
-- the row stays when the family deletes the document, so that the date is
-- not made again. Files made before these tables get them when first needed.
CREATE TABLE RegularDocument (
    IdRegularDocument INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption           TEXT NOT NULL DEFAULT '',
    CodTypeDocument   INTEGER NOT NULL REFERENCES TypeDocument (CodTypeDocument),
    IdHeadAccount     INTEGER NOT NULL REFERENCES HeadAccount (IdHeadAccount),
    ValueDocument     NUMERIC NOT NULL,
    IdCategory        INTEGER REFERENCES Category (IdCategory),
    IdContrAgent      INTEGER REFERENCES ContrAgent (IdContrAgent),
    NoteDocument      TEXT NOT NULL DEFAULT '',
    ValueDocument2    NUMERIC,
    Kurs1             NUMERIC,
    Kurs2             NUMERIC,
    IdHeadAccount2    INTEGER REFERENCES HeadAccount (IdHeadAccount),
    Rule              TEXT NOT NULL,
    DateStart         TEXT NOT NULL,
    ApplyAtOnce       INTEGER NOT NULL DEFAULT 0,
    DateNext          TEXT
);

CREATE TABLE RegularOccurrence (
    IdRegularDocument INTEGER NOT NULL REFERENCES RegularDocument (IdRegularDocument)
                      ON DELETE CASCADE,
    DateOccurrence    TEXT NOT NULL,
    IdDocument        INTEGER REFERENCES Document (IdDocument) ON DELETE SET NULL,
    PRIMARY KEY (IdRegularDocument, DateOccurrence)
) WITHOUT ROWID;
CREATE INDEX RegularOccurrence_IdDocument ON RegularOccurrence (IdDocument);

-- The family's monthly plan of spending: per category, month (its first day)
-- and currency, the amount planned. Files made before budgets get this table
-- when a plan is first written.
CREATE TABLE Budget (
    IdCategory  INTEGER NOT NULL REFERENCES Category (IdCategory) ON DELETE CASCADE,
    MonthBudget TEXT NOT NULL,
    IdValuta    INTEGER NOT NULL REFERENCES Valuta (IdValuta) ON DELETE CASCADE,
    ValueBudget NUMERIC NOT NULL,
    PRIMARY KEY (IdCategory, MonthBudget, IdValuta)
) WITHOUT ROWID;
CREATE INDEX Budget_Valuta_Month ON Budget (IdValuta, MonthBudget);

-- Ways to read the CSV of a bank, saved under a name by the import's column
-- mapping. Settings holds the encoding, separator, decimal mark, date format
-- and the column of each role as one JSON object. A file made before profiles
-- existed gets this table, and the two below, at its first import.
CREATE TABLE ImportProfile (
    IdImportProfile INTEGER PRIMARY KEY AUTOINCREMENT,
    Caption         TEXT NOT NULL UNIQUE,
    Settings        TEXT NOT NULL DEFAULT '{}'
);

-- The family's own rules for the category of an imported line: a line whose
-- description contains DescriptionContains (without regard to case), or whose
-- counterparty is IdContrAgent, gets IdCategory. Exactly one of the two is
-- set. A rule goes with its category or counterparty.
CREATE TABLE ImportRule (
    IdImportRule        INTEGER PRIMARY KEY AUTOINCREMENT,
    DescriptionContains TEXT,
    IdContrAgent        INTEGER REFERENCES ContrAgent (IdContrAgent) ON DELETE CASCADE,
    IdCategory          INTEGER NOT NULL REFERENCES Category (IdCategory) ON DELETE CASCADE,
    CHECK ((DescriptionContains IS NULL) <> (IdContrAgent IS NULL))
);
CREATE INDEX ImportRule_IdCategory ON ImportRule (IdCategory);
CREATE INDEX ImportRule_IdContrAgent ON ImportRule (IdContrAgent);

-- A bank's own category (as the statement writes it, case-folded) and the
-- category of these books that the family chose for it in an import.
CREATE TABLE ImportBankCategory (
    IdImportBankCategory INTEGER PRIMARY KEY AUTOINCREMENT,
    BankCategory         TEXT NOT NULL UNIQUE,
    IdCategory           INTEGER NOT NULL REFERENCES Category (IdCategory) ON DELETE CASCADE
);
CREATE INDEX ImportBankCategory_IdCategory ON ImportBankCategory (IdCategory);

-- Exchange rates: on DateRate one unit of IdValuta costs Rate units of
-- IdValutaBase (eight decimals). Typed in the window "Курсы валют" or loaded
-- from the Bank of Russia's daily file; the net worth converts with them. A
-- file made before rates existed gets this table when that window opens.
CREATE TABLE CurrencyRate (
    IdValuta     INTEGER NOT NULL REFERENCES Valuta (IdValuta) ON DELETE CASCADE,
    IdValutaBase INTEGER NOT NULL REFERENCES Valuta (IdValuta) ON DELETE CASCADE,
    DateRate     TEXT NOT NULL,
    Rate         NUMERIC NOT NULL,
    PRIMARY KEY (IdValuta, IdValutaBase, DateRate)
) WITHOUT ROWID;
CREATE INDEX CurrencyRate_Base ON CurrencyRate (IdValutaBase);

CREATE TABLE sys_Dict (
    sys_CodDict   INTEGER PRIMARY KEY,
    sys_Caption   TEXT NOT NULL DEFAULT '',
    sys_SQLQuery  TEXT NOT NULL DEFAULT '',
    sys_PKField   TEXT NOT NULL DEFAULT '',
    sys_TableName TEXT NOT NULL DEFAULT ''
);

CREATE TABLE sys_DictColumn (
    sys_CodDict       INTEGER NOT NULL REFERENCES sys_Dict (sys_CodDict),
    sys_CodColumn     INTEGER NOT NULL,
    sys_FieldName     TEXT NOT NULL DEFAULT '',
    sys_Caption       TEXT NOT NULL DEFAULT '',
    sys_Alignment     INTEGER NOT NULL DEFAULT 0,
    sys_Width         INTEGER NOT NULL DEFAULT 100,
    sys_DisplayFormat TEXT NOT NULL DEFAULT '',
    PRIMARY KEY (sys_CodDict, sys_CodColumn)
);

CREATE TABLE sys_DocColumn (
    sys_CodColumn     INTEGER PRIMARY KEY,
    sys_FieldName     TEXT NOT NULL DEFAULT '',
    sys_Caption       TEXT NOT NULL DEFAULT '',
    sys_Alignment     INTEGER NOT NULL DEFAULT 0,
    sys_Width         INTEGER NOT NULL DEFAULT 100,
    sys_DisplayFormat TEXT NOT NULL DEFAULT ''
);

CREATE TABLE TypeDocumentColumn (
    CodTypeDocument INTEGER NOT NULL,
    sys_CodColumn   INTEGER NOT NULL REFERENCES sys_DocColumn (sys_CodColumn),
    ColumnOrder     INTEGER NOT NULL,
    PRIMARY KEY (CodTypeDocument, sys_CodColumn)
);

CREATE TABLE sec_user (
    sec_IdUser   INTEGER PRIMARY KEY,
    sec_username TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
    sec_password TEXT NOT NULL DEFAULT '',
    sec_FullName TEXT NOT NULL DEFAULT ''
);

CREATE TABLE sec_Session (
    sec_IdSession INTEGER PRIMARY KEY AUTOINCREMENT,
    sec_IdUser    INTEGER NOT NULL REFERENCES sec_user (sec_IdUser),
    sec_Start     TEXT NOT NULL,
    sec_End       TEXT,
    sec_Owner     TEXT
);
