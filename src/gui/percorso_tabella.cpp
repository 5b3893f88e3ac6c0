#include "gui/percorso_tabella.h"

#include "base/percorsi.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

namespace korva::gui {

PercorsoTabellaForm::PercorsoTabellaForm(QWidget* owner, Guardia& guardia) : TQorIn1Form(owner, guardia)
{
    setObjectName(QStringLiteral("PercorsoTabellaForm"));
    setWindowTitle(QStringLiteral("Percorso tabella"));
    Label1->setText(QStringLiteral("Path Parziale relativo"));
    ComboBox1 = new QComboBox(Bevel1);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->addItem(QStringLiteral("initab") + QLatin1Char(kSep));
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(QString());
    // In the edit field's place; the focus the dialog gives the field goes to the combo box.
    Bevel1->layout()->replaceWidget(Edit1, ComboBox1);
    Edit1->hide();
    Edit1->setFocusProxy(ComboBox1);
    Label1->setBuddy(ComboBox1);
}

std::string PercorsoTabellaForm::percorso() const
{
    return ComboBox1->currentText().toStdString();
}

}  // namespace korva::gui
