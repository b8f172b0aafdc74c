#pragma once

#include "shell/kit/FramelessDialog.h"

class Ui_AboutUsForm;

// The small about box of the Help menu: application icon, product title and version, a notice and
// the link to the product's home page. Run it on the stack: AboutUsForm(nullptr).exec().
class AboutUsForm : public FramelessDialog
{
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget *parent = nullptr);
    ~AboutUsForm() override;

    // "<title> v3.1.13"
    static QString productLine();

private:
    Ui_AboutUsForm *ui = nullptr;
};
