#pragma once

#include "ReportWindow.h"

class TMainFM;

// The six report windows; each is a class of its own so that the main frame
// keeps one window of each kind.
class CategoryReportWindow : public ReportWindow {
    Q_OBJECT
public:
    explicit CategoryReportWindow(QWidget* parent = nullptr)
        : ReportWindow(ReportKind::Categories, parent) {}
};

class MonthReportWindow : public ReportWindow {
    Q_OBJECT
public:
    explicit MonthReportWindow(QWidget* parent = nullptr)
        : ReportWindow(ReportKind::Months, parent) {}
};

class ContrAgentReportWindow : public ReportWindow {
    Q_OBJECT
public:
    explicit ContrAgentReportWindow(QWidget* parent = nullptr)
        : ReportWindow(ReportKind::Counterparties, parent) {}
};

class BalanceReportWindow : public ReportWindow {
    Q_OBJECT
public:
    explicit BalanceReportWindow(QWidget* parent = nullptr)
        : ReportWindow(ReportKind::Balances, parent) {}
};

class StatementReportWindow : public ReportWindow {
    Q_OBJECT
public:
    explicit StatementReportWindow(QWidget* parent = nullptr)
        : ReportWindow(ReportKind::Statement, parent) {}
};

class NetWorthReportWindow : public ReportWindow {
    Q_OBJECT
public:
    explicit NetWorthReportWindow(QWidget* parent = nullptr)
        : ReportWindow(ReportKind::NetWorth, parent) {}
};

// Brings forward the window of a kind, or opens it maximised.
void ShowReportWindow(TMainFM& frame, ReportKind kind);
