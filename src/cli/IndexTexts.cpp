#include "IndexTexts.h"

#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace vidtag::cli {

namespace {

enum class IndexText {
    Rebuilt,
    WouldRebuild,
    Undone,
    Whole,
    NotAvi,
    OpenDml,
    NoMovieList,
    NoVideoChunk,
    DamagedList,
    ReadFailed,
    NotFound,
    CannotWrite,
    LockBusy,
    LockFailed,
    NoSpace,
    WriteFailed,
    JournalFailed,
    RecordDamaged,
    FileChanged,
    UndoFailed,
    SettledFinished,
    SettledRolledBack,
    SettledRolledOn,
    SettledForeign,
    Count
};

constexpr TextTable<IndexText> kTexts{{
    {
        "index rebuilt: %1 chunks indexed (%2 video frames, %3 key frames); %4 bytes written",
        "index would be rebuilt: %1 chunks indexed (%2 video frames, %3 key frames); %4 bytes "
        "to write (dry run, nothing written)",
        "index rebuild undone: the file is %1 bytes again",
        "the index is whole; nothing written",
        "not an AVI file; nothing written",
        "an OpenDML file (an AVIX part or a super index): rebuilding its index is later work; "
        "nothing written",
        "the file is cut inside its headers: it has no movie list; nothing written",
        "the movie list holds no complete video chunk; nothing written",
        "a chunk runs past the end its movie list declares; nothing written",
        "the file could not be read%1; nothing written",
        "cannot open the file%1",
        "the file cannot be opened for writing (is it read-only?)%1; nothing written",
        "another job on this file did not finish within 2 seconds; nothing written",
        "the file system refused the lock%1; nothing written",
        "too little space for the index: %1 bytes needed, %2 free; nothing written",
        "writing failed%1; what was written is undone",
        "cannot use the conversion journal %1: %2; nothing written (--no-journal rebuilds "
        "without it)",
        "the journal's record of this file's index is damaged: %1; nothing written (journal: %2)",
        "the file no longer holds what the index rebuild wrote: another program changed it; "
        "nothing written",
        "writing failed%1 and could not be undone; the next run puts the file back",
        "an interrupted index rebuild had been written; it is now recorded as done",
        "an interrupted index rebuild was undone",
        "an interrupted undoing of an index rebuild was finished",
        "an interrupted index rebuild left bytes it never wrote: another program changed the "
        "file; it is left as it is",
    },
    {
        "индекс восстановлен: в индексе %1 блоков (%2 кадров видео, %3 ключевых); записано "
        "байт: %4",
        "индекс был бы восстановлен: в индексе %1 блоков (%2 кадров видео, %3 ключевых); "
        "записать байт: %4 (пробный запуск, ничего не записано)",
        "восстановление индекса отменено: в файле снова %1 байт",
        "индекс цел; ничего не записано",
        "это не файл AVI; ничего не записано",
        "файл OpenDML (часть AVIX или супериндекс): восстановление его индекса — дело "
        "будущего; ничего не записано",
        "файл обрезан внутри заголовков: в нём нет списка movi; ничего не записано",
        "в списке movi нет ни одного целого блока видео; ничего не записано",
        "блок выходит за конец, объявленный списком movi; ничего не записано",
        "файл не удалось прочитать%1; ничего не записано",
        "файл не открывается%1",
        "файл нельзя открыть для записи (он только для чтения?)%1; ничего не записано",
        "другая работа с этим файлом не закончилась за 2 секунды; ничего не записано",
        "файловая система отказала в блокировке%1; ничего не записано",
        "мало места для индекса: нужно байт: %1, свободно: %2; ничего не записано",
        "запись не удалась%1; записанное отменено",
        "журнал преобразований %1 недоступен: %2; ничего не записано (--no-journal "
        "восстанавливает без него)",
        "запись журнала о индексе этого файла повреждена: %1; ничего не записано (журнал: %2)",
        "в файле уже не то, что записало восстановление индекса: его изменила другая "
        "программа; ничего не записано",
        "запись не удалась%1 и не отменилась; следующий запуск вернёт файл",
        "прерванное восстановление индекса было записано; теперь оно отмечено как выполненное",
        "прерванное восстановление индекса отменено",
        "прерванная отмена восстановления индекса завершена",
        "прерванное восстановление индекса оставило байты, которых не писало: файл изменила "
        "другая программа; он оставлен как есть",
    },
}};

std::string Text(IndexText id, int language) {
    return TextOf(kTexts, language, id);
}

std::string Reason(const std::string& systemReason) {
    return systemReason.empty() ? std::string() : " (" + systemReason + ")";
}

IndexText TextOfReason(IndexReason reason) {
    switch (reason) {
    case IndexReason::None:
        return IndexText::Rebuilt;
    case IndexReason::Whole:
        return IndexText::Whole;
    case IndexReason::NotAvi:
        return IndexText::NotAvi;
    case IndexReason::OpenDml:
        return IndexText::OpenDml;
    case IndexReason::NoMovieList:
        return IndexText::NoMovieList;
    case IndexReason::NoVideoChunk:
        return IndexText::NoVideoChunk;
    case IndexReason::DamagedList:
        return IndexText::DamagedList;
    case IndexReason::ReadFailed:
        return IndexText::ReadFailed;
    case IndexReason::NotFound:
        return IndexText::NotFound;
    case IndexReason::CannotWrite:
        return IndexText::CannotWrite;
    case IndexReason::LockBusy:
        return IndexText::LockBusy;
    case IndexReason::LockFailed:
        return IndexText::LockFailed;
    case IndexReason::NoSpace:
        return IndexText::NoSpace;
    case IndexReason::WriteFailed:
        return IndexText::WriteFailed;
    case IndexReason::JournalFailed:
        return IndexText::JournalFailed;
    case IndexReason::RecordDamaged:
        return IndexText::RecordDamaged;
    case IndexReason::FileChanged:
        return IndexText::FileChanged;
    case IndexReason::UndoFailed:
        return IndexText::UndoFailed;
    }
    return IndexText::ReadFailed;
}

} // namespace

bool IndexFailed(const IndexResult& result) {
    return result.Reason != IndexReason::None && result.Reason != IndexReason::Whole;
}

std::string IndexOutcomeText(const IndexResult& result, bool dryRun, bool undo, int language,
                             const std::string& systemReason) {
    const avi::IndexPlan& plan = result.Plan;
    if (result.Reason == IndexReason::None && undo) {
        return Fill(Text(IndexText::Undone, language), std::to_string(plan.NewLength));
    }
    if (result.Reason == IndexReason::None) {
        std::int64_t bytes = result.BytesWritten;
        if (dryRun) {
            bytes = static_cast<std::int64_t>(plan.Tail.size());
            for (const avi::FieldChange& change : plan.Changes) {
                bytes += static_cast<std::int64_t>(change.After.size());
            }
        }
        // Fill takes three values; the bytes go in as the fourth by hand.
        std::string text =
            Fill(Text(dryRun ? IndexText::WouldRebuild : IndexText::Rebuilt, language),
                 std::to_string(plan.Entries), std::to_string(plan.VideoFrames),
                 std::to_string(plan.KeyFrames));
        if (const std::size_t at = text.find("%4"); at != std::string::npos) {
            text.replace(at, 2, std::to_string(bytes));
        }
        return text;
    }
    const std::string text = Text(TextOfReason(result.Reason), language);
    switch (result.Reason) {
    case IndexReason::NoSpace:
        return Fill(text, std::to_string(result.Needed), std::to_string(result.Available));
    case IndexReason::JournalFailed:
        return Fill(text, result.JournalPath, result.JournalError);
    case IndexReason::RecordDamaged:
        return Fill(text, result.JournalError, result.JournalPath);
    default:
        return Fill(text, Reason(systemReason));
    }
}

std::string IndexSettledText(IndexSettled settled, int language) {
    switch (settled) {
    case IndexSettled::None:
        return {};
    case IndexSettled::Finished:
        return Text(IndexText::SettledFinished, language);
    case IndexSettled::RolledBack:
        return Text(IndexText::SettledRolledBack, language);
    case IndexSettled::RolledOn:
        return Text(IndexText::SettledRolledOn, language);
    case IndexSettled::Foreign:
        return Text(IndexText::SettledForeign, language);
    }
    return {};
}

} // namespace vidtag::cli
