#include "CliTexts.h"

#include "texts/TextTable.h"

namespace vidtag::cli {

namespace {

constexpr TextTable<Message> kMessages{{
    {
        "targets",
        "(locked)",
        "(dry run, nothing written)",
        "%1 is not offered for %2; offered: %3",
        "none",
        "the file has no stream format, so %1 could not be recognised again; nothing written",
        "%1 is no kind that can be converted (--list-kinds shows them); nothing written",
        "the file does not read back as %1 after writing: %2",
        "is a folder; use -r to process the .avi files in it",
        "cannot list the folder: %1",
        "no .avi files in this folder",
        "the modification time could not be restored: %1",
        "unknown kind \"%1\"; see --list-kinds",
        "ambiguous kind \"%1\": %2",
        "no FILE or FOLDER given; see --help",
        "not a regular file (%1)",
        "a named pipe",
        "a socket",
        "a device",
        "the report could not be written: %1",
        "--list-kinds takes no FILE or FOLDER",
        "(%1 looks like %2; --relaxed converts it)",
        "(recognised with --relaxed only)",
        "%1 is recognised with --relaxed but never written; only a restore puts FMP4 back",
        "another conversion of this file did not finish within 2 seconds; nothing written",
        "cannot use the conversion journal %1: %2; nothing written (--no-journal converts "
        "without it)",
        "an interrupted conversion to %1 had been written; it is now recorded as done (journal: "
        "%2)",
        "an interrupted conversion to %1 had not been written; it is now recorded as undone "
        "(journal: %2)",
        "an interrupted conversion to %1 was undone (journal: %2)",
        "an interrupted conversion to %1 left codes it never wrote: another program changed the "
        "file; nothing written (journal: %2)",
        "no conversion of this file is recorded; nothing written (journal: %1)",
        "the codes are not the ones the journal recorded last: another program changed them; "
        "nothing written (journal: %1)",
        "  interrupted conversion: vidtag-cli --restore %1 repairs it",
        "  original: %1 (%2), before the conversion of %3",
        "the journal %1 has unreadable lines; they were skipped",
        "--restore needs the journal and cannot be combined with --no-journal",
        "the file does not hold the codes written (%1) after writing, but %2",
        "without the journal %2 the original codes %1 cannot be restored exactly later",
        "the file system refused the conversion lock; nothing written",
        "the file system locks only files open for writing, and a read-only file is opened for "
        "writing only once its conversion is recorded; nothing written (make the file writable "
        "to convert it)",
        "the handler and compression fields of this file overlap, so writing one would damage "
        "the other; nothing written",
        "the journal's record of this file is damaged: %1; nothing written (journal: %2)",
        "a conversion is recorded, but the file's size changed since (was %1, now %2); nothing "
        "written (journal: %3)",
        "the mode recorded by the interrupted conversion was not put back: %1; the file keeps "
        "its mode",
        "the conversion journal %1: %2",
        "the conversion journal %1 cannot be read: %2; no recorded original can be shown",
        "the journal's record of this file is damaged: %1; no recorded original can be shown "
        "(journal: %2)",
        "stream",
        "warning",
        "note",
        "journal",
        "not converted: whether it plays on %1 cannot be told (%2)",
        "not converted: the label names another bit stream than the file holds, and no retag "
        "within its family makes it play on %1",
        "not converted: it would still need a retag to %2 to play on %1",
        "not converted: no retag makes it play on %1",
        "not converted: it would not play on %1 after this retag",
        "profile\tfrom\tsize @ fps\tMB/frame\tMB/s\tVBV bits\tavg bit/s\tpeak/1 s\tB\talso "
        "allowed; audio",
        " or ",
        "packed B-frames",
        "interlace",
        "nothing",
        "QPel",
        "GMC",
        "MPEG quant",
        "DivX",
        "MPEG-4",
        "device",
        "user",
        "user profiles: %1",
        "no files match %1",
        "cannot be examined: %1",
        "in use by another program",
        "--to auto needs --check PROFILE, whose verdict names the kind",
        "--check and --restore exclude each other",
        "--list-profiles takes no files",
        "--restore and --to exclude each other",
        "unknown profile \"%1\"; the profiles are: %2",
        "%1 not in {en,ru}",
        "Run with --help for more information.",
        "repair",
        "%1 (the stream is %2)",
        "none: the stream is Microsoft MPEG-4 %1, and its headers do not tell which",
        "memory ran out while reading %1; the run stops here, and the files after it were not "
        "reported",
        "--rebuild-index takes none of --to, --restore and --check",
        "audio: %1",
        "audio in %1: %2",
        "up to %1",
        "%1 ch",
        "%1 kbit/s",
        "up to %1 tracks",
    },
    {
        "варианты",
        "(единственный)",
        "(пробный запуск, ничего не записано)",
        "%1 нельзя выбрать для %2; можно: %3",
        "нет",
        "в файле нет формата потока, %1 не удалось бы распознать снова; ничего не записано",
        "%1 не относится ни к одному виду, который можно преобразовать (они есть в "
        "--list-kinds); ничего не записано",
        "после записи файл не читается как %1: %2",
        "это папка; укажите -r, чтобы обработать .avi-файлы в ней",
        "не удалось прочитать папку: %1",
        "в этой папке нет .avi-файлов",
        "не удалось восстановить время изменения: %1",
        "неизвестный вид \"%1\"; см. --list-kinds",
        "неоднозначный вид \"%1\": %2",
        "не указан ФАЙЛ или ПАПКА; см. --help",
        "не обычный файл (%1)",
        "именованный канал",
        "сокет",
        "устройство",
        "не удалось вывести отчёт: %1",
        "--list-kinds не принимает ФАЙЛ или ПАПКУ",
        "(%1 похоже на %2; с --relaxed его можно преобразовать)",
        "(распознаётся только с --relaxed)",
        "%1 распознаётся с --relaxed, но не записывается; вернуть FMP4 можно только "
        "восстановлением",
        "другое преобразование этого файла не закончилось за 2 секунды; ничего не записано",
        "журнал преобразований %1 недоступен: %2; ничего не записано (--no-journal "
        "преобразует без журнала)",
        "прерванное преобразование в %1 было записано; теперь оно отмечено как выполненное "
        "(журнал: %2)",
        "прерванное преобразование в %1 не было записано; теперь оно отмечено как отменённое "
        "(журнал: %2)",
        "прерванное преобразование в %1 отменено (журнал: %2)",
        "прерванное преобразование в %1 оставило коды, которых оно не писало: файл изменила "
        "другая программа; ничего не записано (журнал: %2)",
        "преобразований этого файла в журнале нет; ничего не записано (журнал: %1)",
        "коды не совпадают с последними записанными в журнал: их изменила другая программа; "
        "ничего не записано (журнал: %1)",
        "  прерванное преобразование: исправляет vidtag-cli --restore %1",
        "  исходный: %1 (%2), до преобразования %3",
        "в журнале %1 есть нечитаемые строки; они пропущены",
        "--restore требует журнала и несовместим с --no-journal",
        "после записи в файле не записанные коды (%1), а %2",
        "без журнала %2 исходные коды %1 потом нельзя будет восстановить в точности",
        "файловая система отказала в блокировке для преобразования; ничего не записано",
        "файловая система блокирует только файлы, открытые для записи, а файл только для "
        "чтения открывается для записи лишь после записи преобразования в журнал; ничего не "
        "записано (снимите атрибут «только чтение», чтобы преобразовать файл)",
        "поля обработчика и сжатия в этом файле перекрываются: запись одного испортила бы "
        "другое; ничего не записано",
        "запись журнала об этом файле повреждена: %1; ничего не записано (журнал: %2)",
        "преобразование записано в журнал, но размер файла с тех пор изменился (был %1, стал "
        "%2); ничего не записано (журнал: %3)",
        "режим доступа, записанный прерванным преобразованием, не восстановлен: %1; у файла "
        "остался прежний режим",
        "журнал преобразований %1: %2",
        "журнал преобразований %1 не читается: %2; исходный формат показать нельзя",
        "запись журнала об этом файле повреждена: %1; исходный формат показать нельзя "
        "(журнал: %2)",
        "поток",
        "предупреждение",
        "примечание",
        "журнал",
        "не преобразован: нельзя сказать, воспроизведётся ли он на %1 (%2)",
        "не преобразован: метка называет другой битовый поток, чем в файле, и никакая смена "
        "метки в пределах её семейства не даст воспроизвести его на %1",
        "не преобразован: чтобы воспроизводиться на %1, ему всё ещё нужна смена метки на %2",
        "не преобразован: никакая смена метки не даст воспроизвести его на %1",
        "не преобразован: после этой смены метки он не воспроизведётся на %1",
        "профиль\tисточник\tразмер @ кадр/с\tмакробл./кадр\tмакробл./с\tбиты VBV\tсредн. "
        "бит/с\tпик/1 с\tB\tтакже можно; звук",
        " или ",
        "упакованные B-кадры",
        "чересстрочность",
        "ничего",
        "QPel",
        "GMC",
        "MPEG-квантование",
        "DivX",
        "MPEG-4",
        "устройство",
        "пользователь",
        "профили пользователя: %1",
        "нет файлов, подходящих под %1",
        "не удалось получить сведения: %1",
        "занят другой программой",
        "--to auto требует --check ПРОФИЛЬ, заключение которого называет вид",
        "--check и --restore несовместимы",
        "--list-profiles не принимает файлов",
        "--restore и --to несовместимы",
        "неизвестный профиль \"%1\"; профили: %2",
        "%1 нет среди {en,ru}",
        "Подробности: --help.",
        "исправление метки",
        "%1 (поток — %2)",
        "нет: поток — Microsoft MPEG-4 %1, а какой именно, по его заголовкам не понять",
        "не хватило памяти при чтении %1; работа остановлена, о файлах после него отчёта нет",
        "--rebuild-index несовместим с --to, --restore и --check",
        "звук: %1",
        "звук в %1: %2",
        "до %1",
        "%1 кан.",
        "%1 кбит/с",
        "до %1 дорожек",
    },
}};

} // namespace

const char* MessageText(int language, Message message) {
    return TextOf(kMessages, language, message);
}

std::string LabelledLine(int language, Message label, std::string_view text) {
    return "  " + std::string(MessageText(language, label)) + ": " + std::string(text);
}

} // namespace vidtag::cli
