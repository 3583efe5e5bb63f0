#include "Report_FM.h"

#include "Icons.h"

TReportFM::TReportFM(QWidget* parent) : ResultForm(QStringLiteral("Отчеты"), parent) {
    setWindowIcon(Icons::reports());
    Splitter1->addWidget(gbResult);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({100, 330});
}

void TReportFM::BuildResult() {
    openResult();
}
