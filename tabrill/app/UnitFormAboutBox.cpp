#include "tabrill/app/UnitFormAboutBox.h"

#include "platform/resources/ProgramResources.h"
#include "tabrill/app/Tkappinfo.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int ModalOk = 1;
constexpr int ModalCancel = 2;
constexpr int IconSide = 48;

template <typename Widget> Widget* Place(Widget* widget, const QString& name, int left, int top)
{
    widget->setObjectName(name);
    widget->move(left, top);
    return widget;
}

// The program's icon as its file carries it, or the window's own when the file has none.
QPixmap ProgramIconPixmap(const QString& programFile, const QWidget* owner)
{
    if (const std::optional<QByteArray> bytes =
            Platform::ReadProgramResource(programFile, Platform::IconResourceName(0))) {
        const QImage image = QImage::fromData(*bytes);
        if (!image.isNull())
            return QPixmap::fromImage(
                image.scaled(IconSide, IconSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    const QIcon icon = owner ? owner->window()->windowIcon() : QGuiApplication::windowIcon();
    return icon.pixmap(IconSide, IconSide);
}
} // namespace

TFormAboutBox::TFormAboutBox(QWidget* owner)
    : TFormAboutBox(owner, QCoreApplication::applicationFilePath())
{
}

TFormAboutBox::TFormAboutBox(QWidget* owner, const QString& programFile) : QDialog(owner)
{
    CreateComponents(programFile);

    const TkAppInfo info(programFile);
    ProductName->setText(QCoreApplication::applicationName());
    Version->setText(QStringLiteral("バージョン ") + info.GetValue(aiFileVersion));
    Copyright->setText(QStringLiteral("(C) ") + info.GetValue(aiLegalCopyright));
    Comments->setText(info.GetValue(aiComments));
    for (QLabel* label : {ProductName, Version, Copyright})
        label->adjustSize();
}

void TFormAboutBox::CreateComponents(const QString& programFile)
{
    setObjectName(QStringLiteral("FormAboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    QFont boxFont = font();
    boxFont.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                         QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
    boxFont.setPixelSize(12);
    setFont(boxFont);
    setFixedSize(273, 195);

    Panel1 = Place(new QFrame(this), QStringLiteral("Panel1"), 7, 7);
    Panel1->resize(258, 148);
    // A lowered outer and a raised inner bevel: an etched frame.
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    ProgramIcon = Place(new QLabel(Panel1), QStringLiteral("ProgramIcon"), 7, 7);
    ProgramIcon->resize(IconSide, IconSide);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(ProgramIconPixmap(programFile, parentWidget()));

    // The form's placeholder captions, replaced once the version block has been read.
    ProductName =
        Place(new QLabel(QStringLiteral("製品名"), Panel1), QStringLiteral("ProductName"), 65, 15);
    Version =
        Place(new QLabel(QStringLiteral("バージョン"), Panel1), QStringLiteral("Version"), 65, 33);
    Copyright = Place(new QLabel(QStringLiteral("著作権表記"), Panel1), QStringLiteral("Copyright"),
                      65, 56);
    Comments =
        Place(new QLabel(QStringLiteral("コメント"), Panel1), QStringLiteral("Comments"), 7, 95);
    Comments->setFixedSize(242, 42);
    Comments->setWordWrap(true);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    OKButton =
        Place(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("OKButton"), 102, 165);
    OKButton->resize(69, 23);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(ModalOk); });

    // Centred on the screen, not on the owner. The frame is not known before the box is shown;
    // centring the inside is what holds on every platform.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect inside(QPoint(), size());
        inside.moveCenter(screen->availableGeometry().center());
        setGeometry(inside);
    }
}

int TFormAboutBox::ShowModal()
{
    return exec();
}

void TFormAboutBox::reject()
{
    done(ModalCancel);
}
