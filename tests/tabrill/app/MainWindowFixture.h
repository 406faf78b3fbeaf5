#pragma once

#include "tabrill/app/UnitMain.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>

// A fresh main window for each test, under the application title the program uses.
class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));
        form = std::make_unique<TFormMain>();
    }
    void TearDown() override { form.reset(); }

    std::unique_ptr<TFormMain> form;
};
