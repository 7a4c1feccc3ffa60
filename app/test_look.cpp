// The windows as the program draws them: its style, palette and sheet
// applied as at a start, then every button's caption must have room.
#include "AppStyle.h"
#include "TestSupport.h"

#include "core/FieldButton.h"
#include "core/ProcessValues.h"
#include "scanner/FormScanerTools.h"
#include "staff/DopEdit.h"
#include "staff/List.h"
#include "staff/ListDop.h"
#include "staff/UnitNastroykiPhoto.h"
#include "staff/UserEdit.h"

#include <QApplication>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTest>
#include <functional>
#include <memory>

Q_DECLARE_METATYPE(std::function<QWidget *()>)

class TestLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(app::appPalette());
        qApp->setStyleSheet(app::appStyleSheet());
    }

    void buttonCaptionsHaveRoom_data()
    {
        QTest::addColumn<std::function<QWidget *()>>("make");
        QTest::newRow("employee editor") << std::function<QWidget *()>([] { return new staff::TUserEditForm; });
        QTest::newRow("employee list") << std::function<QWidget *()>([] { return new staff::TListForm; });
        QTest::newRow("directory") << std::function<QWidget *()>([] { return new staff::TDopForm; });
        QTest::newRow("directory entry")
            << std::function<QWidget *()>([] { return new staff::TDopEditForm; });
        QTest::newRow("photo settings")
            << std::function<QWidget *()>([] { return new staff::TNastroykiPhotoForm; });
        QTest::newRow("scanner settings")
            << std::function<QWidget *()>([] { return new scanner::TFormScanerTools; });
    }

    // The "X" and "..." beside the fields were drawn as a dot or a sliver:
    // the sheet's button padding left no room on 28 pixels.
    void buttonCaptionsHaveRoom()
    {
        QFETCH(std::function<QWidget *()>, make);
        core::resetProcessValues();
        testsupport::ServicesFixture services;
        std::unique_ptr<QWidget> window(make());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        int fieldButtons = 0;
        for (QPushButton *b : window->findChildren<QPushButton *>()) {
            if (!b->isVisible() || b->text().isEmpty())
                continue;
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            opt.rect = b->rect();
            const QRect inside = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
            const int needed = b->fontMetrics().horizontalAdvance(b->text());
            QVERIFY2(inside.width() >= needed,
                     qPrintable(QStringLiteral("%1 \"%2\": %3 px for %4 px of caption")
                                    .arg(b->objectName(), b->text())
                                    .arg(inside.width())
                                    .arg(needed)));
            if (b->property(core::kFieldButtonProperty).toBool()) {
                ++fieldButtons;
                QVERIFY2(!b->toolTip().isEmpty(), qPrintable(b->objectName()));
            }
        }
        QVERIFY(fieldButtons > 0);
    }
};


QTEST_MAIN(TestLook)
#include "test_look.moc"
