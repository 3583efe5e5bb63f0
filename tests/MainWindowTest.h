#pragma once

#include "DocTestData.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "TestUtil.h"

// A signed-in main window over a fresh file, for the windows its menus open.
class MainWindowTest : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        startSession();
        m_main = std::make_unique<TMainFM>();
        m_main->show();
        activate(m_main.get());
    }
    void TearDown() override {
        m_main.reset();
        DocTest::TearDown();
    }
    std::unique_ptr<TMainFM> m_main;
};
