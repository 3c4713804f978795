// This file is UTF-8. The assertion stops a build that reads it otherwise.
#include "lang/LngStrings.h"

namespace vt {

static_assert(sizeof(L"ä") == 2 * sizeof(wchar_t) && L"ä"[0] == 0x00E4 && L"Ж"[0] == 0x0416,
              "LngStrings.cpp must be compiled with the UTF-8 input character set");

namespace {

std::wstring Url() { return kMakerSupportUrl; }
std::wstring Mail() { return kMakerSupportEmail; }
std::wstring Domain() { return kMakerDownloadDomain; }

// Texts that every locale keeps in English.
const wchar_t kMinOS[] =
    L"Installation on this Windows version is not supported. This program can be installed on "
    L"64 bit versions of Windows 10 / Windows Server 2016, and newer.";
std::wstring ConnectionErrorEn() {
  return L"Could not connect to the server. Please check your internet connection, proxy- or "
         L"firewall settings. *." + Domain() + L" should be reachable from this device.";
}
const wchar_t kCaptionEn[] = L"Veltrano Shield web setup";
const wchar_t kHttp[] = L"HTTP";
const wchar_t kSocks[] = L"SOCKS";
const wchar_t kRelay[] = L"Relay Proxy";

TLocale EnUs() {
  return {L"en-us",
          {{L"frmMain",
            {{L"labCaption", kCaptionEn},
             {L"labCancel", L"Cancel"},
             {L"labRetry", L"Retry"},
             {L"labProxy", L"Proxy"},
             {L"msgMsiStartError", L"Error loading installation database: %d/%d"},
             {L"msgMsiRunError", L"Error occurred during installation: %d/%d"},
             {L"msgDownloading", L"Downloading protection..."},
             {L"msgInstallInit", L"Initializing..."},
             {L"msgProductNameCaption", L"Installing %s..."},
             {L"msgConfirmCancel", L"Do you want to cancel installation?"},
             {L"msgDownloadError", L"Error occurred during download of the product: %s"},
             {L"msgDownloadWrongData",
              L"Error occurred during download of the product, the downloaded data is not correct"},
             {L"msgUnsuppParams", L"Following parameters are wrong:\r\n%s"},
             {L"msgMinOS", kMinOS},
             {L"msgMinSP",
              L"Service Pack 1 is required when running this software on Windows 7 or Windows "
              L"Server 2008 R2."},
             {L"msgWin80NS",
              L"Installation on this Windows version is not supported. This program can be "
              L"installed on Windows 7/8.1/10, 32 & 64bit"},
             {L"msgOtherProdInstalled",
              L"It appears that a version of this software is already installed on your system. "
              L"Please uninstall the program and restart your computer before trying to run this "
              L"setup again.\r\n\r\nIf you are sure you don't have a version of this software "
              L"currently installed, please contact our support."},
             {L"msgBrevikInstalled",
              L"It appears a version of Veltrano Brevik is already installed on your system. "
              L"Please uninstall Veltrano Brevik and reboot before trying to run this setup "
              L"again.\r\n\r\nIf you are sure you don't have Veltrano Brevik currently installed, "
              L"please contact our support: " + Url()},
             {L"msgOtherAVWarn",
              L"Another antivirus program seems to be installed on your computer.\r\n\r\n"
              L"Two active antivirus programs can slow down your computer considerably. Please "
              L"remove or disable the other program before you use Veltrano Shield.\r\n\r\n"
              L"If you have any questions, please contact our support at " + Mail() +
              L". Do you want to continue ?"},
             {L"msgConnectionError", ConnectionErrorEn()}}},
           {L"frmProxySettings",
            {{L"labCaption", L"Connection Settings"},
             {L"labProxyDescription",
              L"Please configure your internet connection settings before running the "
              L"installation"},
             {L"labProxyServerName", L"Proxy server:"},
             {L"labProxyServerPort", L"Port:"},
             {L"chkAuthentication", L"Authentication required"},
             {L"labProxyUserName", L"User name:"},
             {L"labProxyUserPassword", L"Password:"},
             {L"btnOK", L"Ok"},
             {L"btnCancel", L"Cancel"},
             {L"msgWrongPort", L"Invalid port"},
             {L"labProxyType", L"Proxy server type:"},
             {L"msgProxyHTTP", kHttp},
             {L"msgProxySOCKS", kSocks},
             {L"msgProxyRelay", kRelay}}}}};
}

TLocale DeDe() {
  return {L"de-de",
          {{L"frmMain",
            {{L"labCaption", L"Veltrano Shield Web-Setup"},
             {L"labCancel", L"Abbrechen"},
             {L"labRetry", L"Wiederholen"},
             {L"labProxy", L"Proxy"},
             {L"msgMsiStartError", L"Fehler beim Laden der Installationsdatenbank: %d/%d"},
             {L"msgMsiRunError", L"Während der Installation ist ein Fehler aufgetreten: %d/%d"},
             {L"msgDownloading", L"Schutz wird heruntergeladen..."},
             {L"msgInstallInit", L"Initialisierung..."},
             {L"msgProductNameCaption", L"%s wird installiert..."},
             {L"msgConfirmCancel", L"Möchten Sie die Installation abbrechen?"},
             {L"msgDownloadError", L"Beim Herunterladen des Produkts ist ein Fehler aufgetreten: %s"},
             {L"msgDownloadWrongData",
              L"Beim Herunterladen des Produkts ist ein Fehler aufgetreten: Die heruntergeladenen "
              L"Daten sind fehlerhaft"},
             {L"msgUnsuppParams", L"Die folgenden Parameter sind ungültig:\r\n%s"},
             {L"msgMinOS", kMinOS},
             {L"msgMinSP",
              L"Für die Ausführung dieser Software unter Windows 7 oder Windows Server 2008 R2 ist "
              L"Service Pack 1 erforderlich."},
             {L"msgWin80NS",
              L"Die Installation unter dieser Windows-Version wird nicht unterstützt. Dieses "
              L"Programm kann unter Windows 7/8.1/10 (32 und 64 Bit) installiert werden"},
             {L"msgOtherProdInstalled",
              L"Offenbar ist bereits eine Version dieser Software auf Ihrem System installiert. "
              L"Bitte deinstallieren Sie das Programm und starten Sie Ihren Computer neu, bevor Sie "
              L"dieses Setup erneut ausführen.\r\n\r\nWenn Sie sicher sind, dass derzeit keine "
              L"Version dieser Software installiert ist, wenden Sie sich bitte an unseren Support."},
             {L"msgBrevikInstalled",
              L"Offenbar ist bereits eine Version von Veltrano Brevik auf Ihrem System installiert. "
              L"Bitte deinstallieren Sie Veltrano Brevik und starten Sie den Computer neu, bevor "
              L"Sie dieses Setup erneut ausführen.\r\n\r\nWenn Sie sicher sind, dass Veltrano "
              L"Brevik derzeit nicht installiert ist, wenden Sie sich bitte an unseren Support: " +
                  Url()},
             {L"msgOtherAVWarn",
              L"Auf Ihrem Computer scheint bereits ein anderes Antivirenprogramm installiert zu "
              L"sein.\r\n\r\nZwei aktive Antivirenprogramme können Ihren Computer erheblich "
              L"verlangsamen. Bitte entfernen oder deaktivieren Sie das andere Programm, bevor Sie "
              L"Veltrano Shield verwenden.\r\n\r\nBei Fragen wenden Sie sich bitte an unseren "
              L"Support unter " + Mail() + L". Möchten Sie trotzdem fortfahren?"},
             {L"msgConnectionError", ConnectionErrorEn()}}},
           {L"frmProxySettings",
            {{L"labCaption", L"Verbindungseinstellungen"},
             {L"labProxyDescription",
              L"Bitte konfigurieren Sie Ihre Internetverbindung, bevor Sie die Installation "
              L"starten"},
             {L"labProxyServerName", L"Proxyserver:"},
             {L"labProxyServerPort", L"Port:"},
             {L"chkAuthentication", L"Authentifizierung erforderlich"},
             {L"labProxyUserName", L"Benutzername:"},
             {L"labProxyUserPassword", L"Kennwort:"},
             {L"btnOK", L"OK"},
             {L"btnCancel", L"Abbrechen"},
             {L"msgWrongPort", L"Ungültiger Port"},
             {L"labProxyType", L"Proxyserver-Typ:"},
             {L"msgProxyHTTP", kHttp},
             {L"msgProxySOCKS", kSocks},
             {L"msgProxyRelay", kRelay}}}}};
}

TLocale FrFr() {
  return {L"fr-fr",
          {{L"frmMain",
            {{L"labCaption", L"Installation en ligne de Veltrano Shield"},
             {L"labCancel", L"Annuler"},
             {L"labRetry", L"Réessayer"},
             {L"labProxy", L"Proxy"},
             {L"msgMsiStartError",
              L"Erreur lors du chargement de la base de données d'installation : %d/%d"},
             {L"msgMsiRunError", L"Une erreur s'est produite pendant l'installation : %d/%d"},
             {L"msgDownloading", L"Téléchargement de la protection..."},
             {L"msgInstallInit", L"Initialisation..."},
             {L"msgProductNameCaption", L"Installation de %s..."},
             {L"msgConfirmCancel", L"Voulez-vous annuler l'installation ?"},
             {L"msgDownloadError",
              L"Une erreur s'est produite lors du téléchargement du produit : %s"},
             {L"msgDownloadWrongData",
              L"Une erreur s'est produite lors du téléchargement du produit : les données "
              L"téléchargées sont incorrectes"},
             {L"msgUnsuppParams", L"Les paramètres suivants sont incorrects :\r\n%s"},
             {L"msgMinOS", kMinOS},
             {L"msgMinSP",
              L"Le Service Pack 1 est requis pour exécuter ce logiciel sous Windows 7 ou Windows "
              L"Server 2008 R2."},
             {L"msgWin80NS",
              L"L'installation sur cette version de Windows n'est pas prise en charge. Ce "
              L"programme peut être installé sous Windows 7/8.1/10, 32 et 64 bits"},
             {L"msgOtherProdInstalled",
              L"Il semble qu'une version de ce logiciel soit déjà installée sur votre système. "
              L"Veuillez désinstaller le programme et redémarrer votre ordinateur avant de relancer "
              L"cette installation.\r\n\r\nSi vous êtes certain qu'aucune version de ce logiciel "
              L"n'est actuellement installée, veuillez contacter notre service d'assistance."},
             {L"msgBrevikInstalled",
              L"Il semble qu'une version de Veltrano Brevik soit déjà installée sur votre système. "
              L"Veuillez désinstaller Veltrano Brevik et redémarrer votre ordinateur avant de "
              L"relancer cette installation.\r\n\r\nSi vous êtes certain que Veltrano Brevik n'est "
              L"pas installé actuellement, veuillez contacter notre service d'assistance : " +
                  Url()},
             {L"msgOtherAVWarn",
              L"Un autre programme antivirus semble être installé sur votre ordinateur.\r\n\r\n"
              L"Deux programmes antivirus actifs peuvent ralentir considérablement votre "
              L"ordinateur. Veuillez supprimer ou désactiver l'autre programme avant d'utiliser "
              L"Veltrano Shield.\r\n\r\nPour toute question, contactez notre service d'assistance "
              L"à l'adresse " + Mail() + L". Voulez-vous continuer ?"},
             {L"msgConnectionError", ConnectionErrorEn()}}},
           {L"frmProxySettings",
            {{L"labCaption", L"Paramètres de connexion"},
             {L"labProxyDescription",
              L"Veuillez configurer les paramètres de votre connexion Internet avant de lancer "
              L"l'installation"},
             {L"labProxyServerName", L"Serveur proxy :"},
             {L"labProxyServerPort", L"Port :"},
             {L"chkAuthentication", L"Authentification requise"},
             {L"labProxyUserName", L"Nom d'utilisateur :"},
             {L"labProxyUserPassword", L"Mot de passe :"},
             {L"btnOK", L"OK"},
             {L"btnCancel", L"Annuler"},
             {L"msgWrongPort", L"Port non valide"},
             {L"labProxyType", L"Type de serveur proxy :"},
             {L"msgProxyHTTP", kHttp},
             {L"msgProxySOCKS", kSocks},
             {L"msgProxyRelay", kRelay}}}}};
}

TLocale RuRu() {
  return {L"ru-ru",
          {{L"frmMain",
            {{L"labCaption", kCaptionEn},
             {L"labCancel", L"Отмена"},
             {L"labRetry", L"Повторить"},
             {L"labProxy", L"Прокси"},
             {L"msgMsiStartError", L"Ошибка загрузки базы данных установки: %d/%d"},
             {L"msgMsiRunError", L"Во время установки произошла ошибка: %d/%d"},
             {L"msgDownloading", L"Загрузка защиты..."},
             {L"msgInstallInit", L"Инициализация..."},
             {L"msgProductNameCaption", L"Установка %s..."},
             {L"msgConfirmCancel", L"Вы действительно хотите отменить установку?"},
             {L"msgDownloadError", L"При загрузке продукта произошла ошибка: %s"},
             {L"msgDownloadWrongData",
              L"При загрузке продукта произошла ошибка: загруженные данные некорректны"},
             {L"msgUnsuppParams", L"Следующие параметры указаны неверно:\r\n%s"},
             {L"msgMinOS", kMinOS},
             {L"msgMinSP",
              L"Для работы этой программы в Windows 7 или Windows Server 2008 R2 требуется пакет "
              L"обновления 1 (Service Pack 1)."},
             {L"msgWin80NS",
              L"Установка в этой версии Windows не поддерживается. Эту программу можно установить "
              L"в 32- и 64-разрядных версиях Windows 7/8.1/10"},
             {L"msgOtherProdInstalled",
              L"Похоже, на вашем компьютере уже установлена одна из версий этой программы. Удалите "
              L"программу и перезагрузите компьютер, прежде чем снова запускать установку.\r\n\r\n"
              L"Если вы уверены, что эта программа у вас сейчас не установлена, обратитесь в нашу "
              L"службу поддержки."},
             {L"msgBrevikInstalled",
              L"Похоже, на вашем компьютере уже установлена одна из версий Veltrano Brevik. "
              L"Удалите Veltrano Brevik и перезагрузите компьютер, прежде чем снова запускать "
              L"установку.\r\n\r\nЕсли вы уверены, что Veltrano Brevik у вас сейчас не установлен, "
              L"обратитесь в нашу службу поддержки: " + Url()},
             {L"msgOtherAVWarn",
              L"Похоже, на вашем компьютере уже установлена другая антивирусная программа.\r\n\r\n"
              L"Две одновременно работающие антивирусные программы могут значительно замедлить "
              L"работу компьютера. Удалите или отключите другую программу, прежде чем использовать "
              L"Veltrano Shield.\r\n\r\nЕсли у вас возникли вопросы, обратитесь в нашу службу "
              L"поддержки по адресу " + Mail() + L". Продолжить установку?"},
             {L"msgConnectionError",
              L"Не удалось подключиться к серверу. Проверьте подключение к Интернету, а также "
              L"настройки прокси-сервера и брандмауэра. Адреса *." + Domain() +
                  L" должны быть доступны с этого устройства."}}},
           {L"frmProxySettings",
            {{L"labCaption", L"Параметры подключения"},
             {L"labProxyDescription",
              L"Перед началом установки настройте параметры подключения к Интернету"},
             {L"labProxyServerName", L"Прокси-сервер:"},
             {L"labProxyServerPort", L"Порт:"},
             {L"chkAuthentication", L"Требуется аутентификация"},
             {L"labProxyUserName", L"Имя пользователя:"},
             {L"labProxyUserPassword", L"Пароль:"},
             {L"btnOK", L"ОК"},
             {L"btnCancel", L"Отмена"},
             {L"msgWrongPort", L"Недопустимый порт"},
             {L"labProxyType", L"Тип прокси-сервера:"},
             {L"msgProxyHTTP", kHttp},
             {L"msgProxySOCKS", kSocks},
             {L"msgProxyRelay", kRelay}}}}};
}

TLocale ItIt() {
  return {L"it-it",
          {{L"frmMain",
            {{L"labCaption", kCaptionEn},
             {L"labCancel", L"Annulla"},
             {L"labRetry", L"Riprova"},
             {L"labProxy", L"Proxy"},
             {L"msgMsiStartError",
              L"Errore durante il caricamento del database di installazione: %d/%d"},
             {L"msgMsiRunError", L"Si è verificato un errore durante l'installazione: %d/%d"},
             {L"msgDownloading", L"Download della protezione in corso..."},
             {L"msgInstallInit", L"Inizializzazione in corso..."},
             {L"msgProductNameCaption", L"Installazione di %s in corso..."},
             {L"msgConfirmCancel", L"Vuoi annullare l'installazione?"},
             {L"msgDownloadError", L"Si è verificato un errore durante il download del prodotto: %s"},
             {L"msgDownloadWrongData",
              L"Si è verificato un errore durante il download del prodotto: i dati scaricati non "
              L"sono corretti"},
             {L"msgUnsuppParams", L"I seguenti parametri non sono validi:\r\n%s"},
             {L"msgMinOS", kMinOS},
             {L"msgMinSP",
              L"Per eseguire questo software su Windows 7 o Windows Server 2008 R2 è necessario il "
              L"Service Pack 1."},
             {L"msgWin80NS",
              L"L'installazione su questa versione di Windows non è supportata. Questo programma "
              L"può essere installato su Windows 7/8.1/10 a 32 e 64 bit"},
             {L"msgOtherProdInstalled",
              L"Sembra che nel sistema sia già installata una versione di questo software. "
              L"Disinstalla il programma e riavvia il computer prima di eseguire di nuovo questa "
              L"installazione.\r\n\r\nSe sei sicuro che al momento non sia installata alcuna "
              L"versione di questo software, contatta il nostro supporto tecnico."},
             {L"msgBrevikInstalled",
              L"Sembra che nel sistema sia già installata una versione di Veltrano Brevik. "
              L"Disinstalla Veltrano Brevik e riavvia il computer prima di eseguire di nuovo questa "
              L"installazione.\r\n\r\nSe sei sicuro che Veltrano Brevik non sia attualmente "
              L"installato, contatta il nostro supporto tecnico: " + Url()},
             {L"msgOtherAVWarn",
              L"Sembra che sul computer sia già installato un altro programma antivirus.\r\n\r\n"
              L"Due programmi antivirus attivi possono rallentare notevolmente il computer. "
              L"Rimuovi o disattiva l'altro programma prima di usare Veltrano Shield.\r\n\r\n"
              L"Per qualsiasi domanda, contatta il nostro supporto tecnico all'indirizzo " + Mail() +
              L". Vuoi continuare?"},
             {L"msgConnectionError", ConnectionErrorEn()}}},
           {L"frmProxySettings",
            {{L"labCaption", L"Impostazioni di connessione"},
             {L"labProxyDescription",
              L"Configura le impostazioni della connessione a Internet prima di avviare "
              L"l'installazione"},
             {L"labProxyServerName", L"Server proxy:"},
             {L"labProxyServerPort", L"Porta:"},
             {L"chkAuthentication", L"Autenticazione richiesta"},
             {L"labProxyUserName", L"Nome utente:"},
             {L"labProxyUserPassword", L"Password:"},
             {L"btnOK", L"OK"},
             {L"btnCancel", L"Annulla"},
             {L"msgWrongPort", L"Porta non valida"},
             {L"labProxyType", L"Tipo di server proxy:"},
             {L"msgProxyHTTP", kHttp},
             {L"msgProxySOCKS", kSocks},
             {L"msgProxyRelay", kRelay}}}}};
}

}  // namespace

TLocales GetBuiltInLocales() { return {EnUs(), DeDe(), FrFr(), RuRu(), ItIt()}; }

}  // namespace vt
