"""The configuration entries and the message table as built into the setup
program, read straight from its resources with pefile (no Wine needed).

The expected tables below are the delivered configuration as the product
defines it, written out here on their own so that a slip in a resource script
(a missing terminator, a lost language, a character stored as its UTF-8
bytes, a name the preprocessor replaced) shows up as a difference.
"""
import os
import re
import unittest

import pefile

CONFIG_ENTRY_TYPE = 40
STRING_TABLE_TYPE = 6  # RT_STRING

DE, EN, ES, FR, IT, JA = 1031, 1033, 1034, 1036, 1040, 1041
LANGUAGES = (DE, EN, ES, FR, IT, JA)
TRANSLATED = (DE, ES, FR, IT, JA)

P = "$(STD_PRODUCT_NAME)"
S = "$(CV_SKU_TEXT)"

# Build, download, edition and language entries: English only.
ENGLISH_ONLY = {
    "STD_BASE_URL": "http://redirect.corvane.example/redirect/route",
    "STD_PATH": "$(STD_BASE_URL)?$(STD_FIXED_PARAMS)&$(STD_IDENT_PARAMS)",
    "STD_FIXED_PARAMS": "mode=1&app=inclient&date=1&dest=stub",
    "STD_IDENT_PARAMS": "oem=$(CV_OEM)&prod=$(CV_SKU)&lang=$(CV_LANGUAGE)",
    "CV_OEM": "1132",
    "STD_FILE_PATH_1": "$(STD_PATH)&link_id=1",
    "STD_FILE_PATH_2": "$(STD_PATH)&link_id=2",
    "STD_MINIMUM_MSI": "150",
    "CV_SKU": "16",
    "CV_SKU_NAME": "CVA",
    "CV_SKU_TEXT": "Summit Edition",
    "CV_LANGUAGE": "fr",
    "CV_FILE_NAME_1": "cv$(CV_SKU_NAME)_Setup_$(CV_LANGUAGE).exe",
    "STD_PRODUCT_NAME": "Corvane",
    # Page texts that exist in English only.
    "UI_PAGE_1_OPTION_FREE_CVHS": "Corvane Free Edition plus Corvane Harbor Suite 15-day trial  (Recommended)",
    "UI_PAGE_1_OPTION_FREE_ONLY": "Corvane Free Edition",
    # Carried but read by nothing.
    "UI_PAGE_1_CHECK": "",
    "UI_PAGE_1_OPTION_0": "Corvane:",
    "UI_PAGE_1_OPT_OUT_CHECK_TEXT": "$(ABC)$(PROP_CV_OPT_OUT_CHECK_TEXT)",
    "CV_FILE_NAME_2": "$(CV_FILE_NAME)",
    "CV_LAGUAGE_TEXT": "French",
}

# Entries in all six languages, columns in the order of LANGUAGES.
NEXT = ("Weiter >", "Next >", "Siguiente >", "Suivant >", "Avanti >", "次へ >")
CANCEL = ("Abbrechen", "Cancel", "Cancelar", "Annuler", "Annulla", "キャンセル")
EMPTY = ("",) * 6
SIX_LANGUAGES = {
    "UI_PAGE_1_BANNER1": (
        "Dieses Programm lädt  " + P + " herunter und installiert es auf Ihrem Computer.\n\n"
        "Bestätigen Sie die Version von Microsoft Windows, die Sie installieren möchten, oder passen Sie sie an",
        "Select one of the following:",
        "Este programa descargará e instalará " + P + " " + S + " en su equipo.\n\n"
        "Por favor, confirme o ajuste la versión de Microsoft Windows que desee instalar.",
        "Ce programme téléchargera et installera " + P + " " + S + " sur votre ordinateur.\n\n"
        "Veuillez confirmer ou ajuster la version de Microsoft Windows que vous souhaitez installer.",
        "Questo programma scaricherà e installerà " + P + " " + S + " sul computer.\n\n"
        "Confermare o modificare la versione di Microsoft Windows da installare.",
        "このプログラムは、ご使用のコンピュータに " + P + " " + S + " をインストールします。\n\n"
        "インストールしようとしている Microsoft Windows のバージョンの確認または調整を行ってください。",
    ),
    "UI_PAGE_1_OPTION_1": (
        "Produkt:\tCorvane " + S,
        "Language:",
        "Producto:\tCorvane " + S,
        "Produit:  \tCorvane " + S,
        "Prodotto:\tCorvane " + S,
        "製品\t\tCorvane " + S,
    ),
    "UI_PAGE_1_OPTION_2": ("Sprache:", "", "Idioma:", "Langue:", "Lingua:", "言語:\t$(CV_LANGUAGE_TEXT)"),
    "UI_PAGE_1_OPTION_3": EMPTY,
    "UI_PAGE_1_OPTION_4": EMPTY,
    "UI_PAGE_1_OPTION_5": EMPTY,
    "UI_PAGE_1_NEXT": NEXT,
    "UI_PAGE_1_CANCEL": CANCEL,
    "UI_PAGE_2_BANNER": (
        'Bitte wählen Sie, ob Sie das Sicherheitspaket "' + P + " " + S +
        '" jetzt installieren oder ob Sie die Datei nur herunterladen möchten.',
        "Please select whether you want to download and immediately install " + P + " " + S +
        " or just download it for future install.",
        "Indique si desea descargar e instalar inmediatamente " + P + " " + S +
        " o sólo descargarlo para instalarlo en otro momento.",
        "Veuillez indiquer si vous souhaitez télécharger " + P + " " + S +
        " et l'installer immédiatement ou simplement le télécharger et l'installer plus tard.",
        "Selezionare se scaricare e installare immediatamente " + P + " " + S +
        " o se si desidera eseguire il download ora e l'installazione in un momento successivo.",
        P + " " + S + " をダウンロードしてすぐインストールするか、後でインストールするためにダウンロードだけを行います。",
    ),
    "UI_PAGE_2_DOWNLOAD_AND_INSTALL": (
        "Installieren (empfohlen)", "Download and install", "Descargar e instalar",
        "Télécharger et installer", "Scarica e installa", "ダウンロードおよびインストール",
    ),
    "UI_PAGE_2_DOWNLOAD_ONLY": (
        "Nur herunterladen, später installieren", "Download only", "Sólo descargar",
        "Télécharger uniquement", "Solo download", "ダウンロードのみ",
    ),
    "UI_PAGE_2_BROWSE": ("Durchsuchen...", "Browse...", "Examinar...", "Parcourir...", "Sfoglia...", "参照..."),
    "UI_PAGE_2_BACK": ("< Zurück", "< Back", "< Volver", "< Précédent", "< Indietro", "< 戻る"),
    "UI_PAGE_2_NEXT": NEXT,
    "UI_PAGE_2_CANCEL": CANCEL,
    "UI_PAGE_3_BANNER": (
        P + " " + S + " wird heruntergeladen. Bitte warten.",
        "Please wait while " + P + " " + S + " downloading is in progress.",
        "Por favor, espere mientras se está realizando la descarga de " + P + " " + S + ".",
        "Veuillez patienter pendant le téléchargement de " + P + " " + S + ".",
        "Attendere. Download di " + P + " " + S + " in corso.",
        P + " " + S + " のダウンロードが進行中の間、しばらくお待ちください...",
    ),
    "UI_PAGE_3_DOWNLOADING": (
        P + " wird heruntergeladen...", "Downloading " + P + "...", "Descargando " + P + "...",
        "Téléchargement de " + P + "...", "Download di " + P + " in corso...", "ダウンロード中 " + P + "...",
    ),
    "UI_PAGE_3_CANCEL": CANCEL,
    # Carried but read by nothing.
    "UI_PAGE_1_WINDOWS": ("Windows:", "Windows:", "Windows:", "Windows\u00a0:", "Windows:", "Windows:"),
    "UI_PAGE_1_WINDOWS_LIST": ("Vista\nXP/2000/NT",) * 6,
    "UI_PAGE_2_LOCATION": ("$(CV_FILE_NAME)", "", "$(CV_FILE_NAME)", "$(CV_FILE_NAME)", "$(CV_FILE_NAME)",
                           "$(CV_FILE_NAME)"),
    "UI_PAGE_3_DONE": ("Fertig", "Done", "Listo", "Terminé", "Eseguito", "完了"),
}

# Six languages; only the English text is fixed, the five translations are
# the localisers' own.
UNREAD_BANNER_ENGLISH = "This program will download and install " + P + " on your computer.\n\n\n"

ENGLISH_MESSAGES = {
    11: "Corvane",
    12: "Out of Memory",
    13: "Setup was unable to find the installer.",
    14: "Back",
    15: "Next",
    16: "Cancel",
    17: "Done",
    18: "The required resource '%s' is missing.",
    19: "Please wait...",
    20: "Corvane",
    21: "Downloading Corvane...",
    22: "Verifying digital signature of '%s'",
    23: "Setup was unable to upgrade the Windows Installer to a version that supports schema '%s'.",
    24: "This version of Windows does not support digital signatures.",
    25: "Installation failed.\nDownloaded file is not Corvane installation.\nURL: '%1'.",
    26: "The path '%1' is invalid.",
    27: "Setup was cancelled",
    28: "'%s' is an invalid Msi version. Be sure that it is numeric and is at least '%d'.",
    29: "Admin priviledges are required for upgrading the Windows Installer.",
    30: "Downloading Windows Installer update executable",
    31: "Setup was unable to find the update file '%1'.",
    32: "Setup was unable to upgrade the Windows Installer.",
    33: "You must restart your system for the configuration changes to take effect. Click Yes to restart now "
        "or No if you plan to manually restart later.",
    34: "The provided update package '%1' is invalid.",
    35: "An error occured installing the package.  Windows Installer returned '%d'.",
    36: "This package requires a newer version of the Windows Installer. Do you want to update the version of "
        "the Windows Installer on your system?",
    37: "The setup was authored with an incorrect operation resource '%s' and cannot continue.",
    38: "Usage:\n   /? :  Show this dialog.\n   /a :  Perform an administrative install.\n"
        "   /a <full path to existing administrative install> :  Patch an existing administrative install.\n"
        "   /v <full path to file> :  Verify signature on file.\n",
    39: "This platform can not support the version of Windows Installer you are attempting to install.",
    40: "An irrecoverable internal error occured.",
    # 41 ends with a third line, the web address; checked on its own.
    42: "Confirmation",
    43: "Are you sure you want to cancel downloading?",
    44: "Server is not responding. Do you want to cancel downloading?",
}
MESSAGE_41_START = ("Cannot determine downloading URL. This setup executable is too old.\n"
                    "Please download the latest setup executable from the Brightmoor web site.\n")
WEB_ADDRESS = "http://www.corvane.example/download/"
MESSAGE_IDS = range(11, 45)
# Texts that are the same words in a translation.
SAME_IN_ENGLISH = {(language, message) for language in (DE, ES, FR, IT, JA) for message in (11, 20)} | {(FR, 42)}


def expected_entries():
    table = {(name, EN): value for name, value in ENGLISH_ONLY.items()}
    for name, values in SIX_LANGUAGES.items():
        for language, value in zip(LANGUAGES, values):
            table[(name, language)] = value
    return table


def read_resources(path):
    """{(type, name, language): data}; numeric names as ints, string names as str."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    found = {}
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        kind = type_entry.id if type_entry.name is None else str(type_entry.name)
        for name_entry in type_entry.directory.entries:
            name = name_entry.id if name_entry.name is None else str(name_entry.name)
            for language_entry in name_entry.directory.entries:
                record = language_entry.data.struct
                found[(kind, name, language_entry.id)] = pe.get_data(record.OffsetToData, record.Size)
    pe.close()
    return found


def config_entries(resources):
    return {(name, language): data for (kind, name, language), data in resources.items()
            if kind == CONFIG_ENTRY_TYPE}


def string_table(resources):
    """{(language, id): text} for every non-empty entry of the string blocks."""
    texts = {}
    for (kind, block, language), data in resources.items():
        if kind != STRING_TABLE_TYPE:
            continue
        offset = 0
        for index in range(16):
            count = int.from_bytes(data[offset:offset + 2], "little")
            offset += 2
            if count:
                texts[(language, (block - 1) * 16 + index)] = data[offset:offset + 2 * count].decode("utf-16-le")
            offset += 2 * count
    return texts


def placeholders(text):
    return re.findall(r"%.", text)


def mangled_characters(text):
    """Characters that appear when UTF-8 bytes were stored one per UTF-16 unit
    (sign-extended or as Latin-1 bytes)."""
    return [c for c in text if 0x80 <= ord(c) <= 0x9F or ord(c) >= 0xFF00 or c in "ÃÂã\ufffd"]


def expand(value, entries, depth=0):
    """The entries' own macro expansion with no built-in values and an empty
    environment, enough to follow the download link through its levels."""
    def resolve(match):
        inner = entries.get((match.group(1), EN))
        return expand(inner, entries, depth + 1) if inner is not None and depth < 8 else ""
    return re.sub(r"\$\(([^)]*)\)", resolve, value)


class ResourcesOfBuild:
    """Checks shared by every build of the program; subclasses name the file."""

    path = None

    @classmethod
    def setUpClass(cls):
        if cls.path is None or not os.path.exists(cls.path):
            raise unittest.SkipTest("no executable at %s" % cls.path)
        cls.resources = read_resources(cls.path)
        cls.entries = config_entries(cls.resources)
        cls.texts = string_table(cls.resources)

    # Configuration entries.

    def test_entries_exist_in_exactly_the_delivered_languages(self):
        expected = set(expected_entries()) | {("UI_PAGE_1_BANNER", language) for language in LANGUAGES}
        self.assertEqual(sorted(set(self.entries) - expected), [], "entries that are not delivered")
        self.assertEqual(sorted(expected - set(self.entries)), [], "delivered entries that are missing")

    def test_entry_data_is_the_value_with_one_terminating_nul(self):
        for (name, language), value in sorted(expected_entries().items()):
            with self.subTest(name=name, language=language):
                self.assertEqual(self.entries.get((name, language)), (value + "\0").encode("utf-16-le"))

    def test_unread_banner_in_every_language(self):
        english = self.entries[("UI_PAGE_1_BANNER", EN)]
        self.assertEqual(english, (UNREAD_BANNER_ENGLISH + "\0").encode("utf-16-le"))
        for language in TRANSLATED:
            with self.subTest(language=language):
                data = self.entries[("UI_PAGE_1_BANNER", language)]
                self.assertTrue(data.endswith("\0".encode("utf-16-le")) and len(data) % 2 == 0)
                text = data.decode("utf-16-le")[:-1]
                self.assertNotIn("\0", text)
                self.assertNotEqual(text + "\0", english.decode("utf-16-le"), "left untranslated")
                self.assertIn(P, text)
                self.assertTrue(text.endswith("\n\n\n"))
                self.assertEqual(mangled_characters(text), [])

    def test_language_display_names_are_not_delivered(self):
        # The edition page falls back to the English names when these are absent;
        # the loader would look for them in upper case.
        names = {name for name, _ in self.entries}
        for display in ("ENGLISH", "GERMAN", "SPANISH", "FRENCH", "ITALIAN", "JAPANESE"):
            self.assertNotIn(display, names)

    def test_download_links_expand_to_the_redirect_address_with_the_query_in_order(self):
        values = {key: data.decode("utf-16-le").split("\0")[0] for key, data in self.entries.items()}
        query = "mode=1&app=inclient&date=1&dest=stub&oem=1132&prod=16&lang=fr&link_id="
        for link in ("1", "2"):
            with self.subTest(link=link):
                self.assertEqual(expand(values[("STD_FILE_PATH_" + link, EN)], values),
                                 "http://redirect.corvane.example/redirect/route?" + query + link)

    # Message table.

    def test_every_message_id_in_all_six_languages_and_nothing_else(self):
        expected = {(language, message) for language in LANGUAGES for message in MESSAGE_IDS}
        self.assertEqual(sorted(set(self.texts) ^ expected), [])

    def test_english_messages(self):
        for message, text in ENGLISH_MESSAGES.items():
            with self.subTest(message=message):
                self.assertEqual(self.texts[(EN, message)], text)
        self.assertEqual(self.texts[(EN, 41)], MESSAGE_41_START + WEB_ADDRESS + "\n")

    def test_translations_keep_the_placeholders_of_the_english_text(self):
        for message in MESSAGE_IDS:
            english = placeholders(self.texts[(EN, message)])
            if message == 13:
                # Only the translations name the package that was not found.
                self.assertEqual(english, [])
                english = ["%1"]
            for language in TRANSLATED:
                with self.subTest(message=message, language=language):
                    self.assertEqual(placeholders(self.texts[(language, message)]), english)

    def test_message_41_ends_with_the_web_address_line_in_every_language(self):
        for language in LANGUAGES:
            with self.subTest(language=language):
                lines = self.texts[(language, 41)].split("\n")
                self.assertEqual(len(lines), 4)
                self.assertEqual(lines[2], WEB_ADDRESS)
                self.assertEqual(lines[3], "")

    def test_texts_are_real_characters_and_real_line_feeds(self):
        for (language, message), text in sorted(self.texts.items()):
            with self.subTest(language=language, message=message):
                self.assertEqual(mangled_characters(text), [])
                self.assertNotIn("\\", text)
                if message == 38:
                    self.assertEqual(text.count("\n"), 5)
                    self.assertIn("/? :", text)
                    self.assertIn("/v <", text)
                if language != EN and (language, message) not in SAME_IN_ENGLISH:
                    self.assertNotEqual(text, self.texts[(EN, message)], "left untranslated")
        for message in MESSAGE_IDS:
            if "\n" not in self.texts[(EN, message)]:
                continue
            for language in TRANSLATED:
                with self.subTest(message=message, language=language):
                    self.assertEqual(self.texts[(language, message)].count("\n"),
                                     self.texts[(EN, message)].count("\n"))

    def test_japanese_texts_are_japanese(self):
        for message in MESSAGE_IDS:
            if message in (11, 20, 41):
                continue
            with self.subTest(message=message):
                self.assertTrue(any(0x3040 <= ord(c) <= 0x30FF or 0x4E00 <= ord(c) <= 0x9FFF
                                    for c in self.texts[(JA, message)]))


BUILD_DIR = os.environ.get("CORVANE_BUILD_DIR", "")


class TestBuildUnderTest(ResourcesOfBuild, unittest.TestCase):
    """The x86-64 build that the other tests run under Wine."""
    path = os.path.join(BUILD_DIR, "CorvaneSetup.exe")


class TestReleaseBuild(ResourcesOfBuild, unittest.TestCase):
    """The i686 release build, the sibling win32 folder, when it has been built."""
    path = os.path.join(os.path.dirname(os.path.abspath(BUILD_DIR)), "win32", "CorvaneSetup.exe")


if __name__ == "__main__":
    unittest.main()
