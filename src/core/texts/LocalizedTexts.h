/* The program's localized texts, UTF-8, one definition each. The Windows string tables include
   this file through windres and the console front end through C++, so both show the same words.
   Text 13 is stored crosswise on purpose: the note after a language switch is written in the
   language being switched to. */
#ifndef VIDTAG_LOCALIZED_TEXTS_H
#define VIDTAG_LOCALIZED_TEXTS_H

#define VT_TEXT_COUNT 17
#define VT_TEXT_BASE_EN 10000
#define VT_TEXT_BASE_RU 11000

#define VT_TEXT_EN_1 "Open file - Vidtag"
#define VT_TEXT_EN_2 "File no found"
#define VT_TEXT_EN_3 "Can't open file"
#define VT_TEXT_EN_4 "Can't write to file"
#define VT_TEXT_EN_5 "File isn't AVI-file"
#define VT_TEXT_EN_6 "Unknown codec"
#define VT_TEXT_EN_7 "No"
#define VT_TEXT_EN_8 "Unknown"
#define VT_TEXT_EN_9 "Error"
#define VT_TEXT_EN_10 "(original format)"
#define VT_TEXT_EN_11 "Video files"
#define VT_TEXT_EN_12 "All files"
#define VT_TEXT_EN_13 "Язык изменится после перезапуска программы."
#define VT_TEXT_EN_14 "Visit Vidtag Web site"
#define VT_TEXT_EN_15 "Can't create stream"
#define VT_TEXT_EN_16 "Can't create Avi Reader"
#define VT_TEXT_EN_17 "File has changed since it was opened"

#define VT_TEXT_RU_1 "Открыть файл для переконвертации - Vidtag"
#define VT_TEXT_RU_2 "Файл не найден"
#define VT_TEXT_RU_3 "Файл не доступен для чтения"
#define VT_TEXT_RU_4 "Файл не доступен для записи"
#define VT_TEXT_RU_5 "Файл не является AVI-файлом"
#define VT_TEXT_RU_6 "Файл записан неизвестным кодеком"
#define VT_TEXT_RU_7 "Нет"
#define VT_TEXT_RU_8 "Неизвестно"
#define VT_TEXT_RU_9 "Ошибка"
#define VT_TEXT_RU_10 "(оригинальный формат)"
#define VT_TEXT_RU_11 "Видео файлы"
#define VT_TEXT_RU_12 "Все файлы"
#define VT_TEXT_RU_13 "The language changes will take effect next time your start program."
#define VT_TEXT_RU_14 "Посетить сайт программы"
#define VT_TEXT_RU_15 "Невозможно создать поток для чтения"
#define VT_TEXT_RU_16 "Невозможно создать Avi Reader"
#define VT_TEXT_RU_17 "Файл изменился после открытия"

#ifndef RC_INVOKED
#ifdef __cplusplus

namespace vidtag {

// Text n (1 to VT_TEXT_COUNT) of language 0 (English) or 1 (Russian), UTF-8; "" for anything
// else.
const char* LocalizedText(int language, int number);

} // namespace vidtag

#endif
#endif

#endif
