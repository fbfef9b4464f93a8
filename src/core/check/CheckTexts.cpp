#include "check/CheckTexts.h"

#include "texts/TextTable.h"

namespace vidtag::check {

namespace {

// Counted things are written as "what: number" in Russian, so that no plural form depends on
// the number.
constexpr TextTable<CheckText> kTexts{{
    {
        " (mislabelled)",
        " (needs re-encoding)",
        "the stream is MPEG-4 Part 2, not the Microsoft MPEG-4 its label names",
        "the stream is Microsoft MPEG-4 (no MPEG-4 headers), not what the label says",
        "Microsoft MPEG-4 V%1, which DivX players do not decode",
        "%1 is not a DivX code (retag to %2)",
        " or ",
        "%1 frames, larger than %2",
        "%1 fps, more than %2 fps",
        "%1 fps, more than %2 fps at %3",
        "%1 macroblocks per second, more than %2",
        "average bitrate %1, more than %2",
        "peak bitrate %1 over one second, more than %2",
        "%1 kbit/s",
        "B-frames, which the profile does not allow",
        "up to %1 B-frames in a row, more than %2",
        "packed B-frames, which the profile does not allow",
        "VBV buffer of %1 bits, more than %2",
        "interlaced, which the profile does not allow",
        "QPel",
        "GMC",
        "a static sprite",
        "MPEG quantisation",
        "the label names no kind Vidtag knows",
        "no video frame could be read",
        "the stream's headers are damaged",
        "the file could not be analysed",
        "the stream could not be read",
        "packed B-frames are not valid MPEG-4, and some players outside the DivX world fail on "
        "them; ffmpeg unpacks them without loss: %1",
        "the stream names no encoder, so FFmpeg-based players (VLC, MPlayer, Kodi) choose their "
        "decoding workarounds by the code: after this retag the picture may change slightly in "
        "them",
        "plays as it is",
        "plays after a retag to %1",
        "cannot tell: %1",
        "will not play: %1",
        "the movie data is damaged, so its bitrates could not be measured",
        "the stream is Microsoft MPEG-4 V1, not what the label says",
        "the stream is %1, not the MPEG-4 family its label names",
        "the frames hold no header of the MPEG-4 family that could be read",
        "the stream has no VOL header, without which no player can start it",
        "neither the stream header nor the main header gives a frame rate",
        "packed B-frames are not valid MPEG-4, and some players outside the DivX world fail on "
        "them; ffmpeg's mpeg4_unpack_bframes filter unpacks them without loss",
        "%1 is not a DivX code, and the retag to %2 cannot be written: %3",
        "%1, which the profile's players do not decode",
        "%1 is not a code the profile accepts (retag to %2)",
        "%1, which the profile's players do not open",
        "%1 macroblocks per frame, more than %2",
        "GMC with %1 warping points, more than %2",
        "the stream claims %1, more than %2 stands for; players judge the stream itself, and "
        "encoders often write a level regardless",
        "%1 is not a code the profile accepts, and Vidtag does not write the ones it does (%2)",
        "no one code plays on both: %1",
        "no one code plays on all of them: %1",
    },
    {
        " (неверная метка)",
        " (нужно перекодировать)",
        "поток — MPEG-4 Part 2, а не Microsoft MPEG-4, который называет метка",
        "поток — Microsoft MPEG-4 (без заголовков MPEG-4), а не то, что называет метка",
        "Microsoft MPEG-4 V%1, который плееры DivX не декодируют",
        "%1 — не код DivX (смените метку на %2)",
        " или ",
        "кадры %1 больше, чем %2",
        "%1 кадр/с, больше %2 кадр/с",
        "%1 кадр/с, больше %2 кадр/с при %3",
        "макроблоков в секунду: %1, больше %2",
        "средний битрейт %1, больше %2",
        "пиковый битрейт за секунду %1, больше %2",
        "%1 кбит/с",
        "B-кадры, которых профиль не допускает",
        "B-кадров подряд: до %1, больше %2",
        "упакованные B-кадры, которых профиль не допускает",
        "буфер VBV: %1 бит, больше %2",
        "чересстрочная развёртка, которой профиль не допускает",
        "QPel",
        "GMC",
        "статический спрайт",
        "MPEG-квантование",
        "метка не называет ни одного вида, известного Vidtag",
        "не удалось прочитать ни одного видеокадра",
        "заголовки потока повреждены",
        "файл не удалось проанализировать",
        "поток не удалось прочитать",
        "упакованные B-кадры — это не корректный MPEG-4, и некоторые плееры вне мира DivX на "
        "них сбиваются; ffmpeg распаковывает их без потерь: %1",
        "поток не называет своего кодировщика, поэтому плееры на основе FFmpeg (VLC, MPlayer, "
        "Kodi) выбирают обходные приёмы декодирования по коду: после этой смены метки картинка "
        "в них может немного измениться",
        "воспроизводится как есть",
        "воспроизведётся после смены метки на %1",
        "нельзя сказать: %1",
        "не воспроизведётся: %1",
        "данные фильма повреждены, поэтому битрейт измерить не удалось",
        "поток — Microsoft MPEG-4 V1, а не то, что называет метка",
        "поток — %1, а не семейство MPEG-4, которое называет метка",
        "в кадрах нет читаемого заголовка семейства MPEG-4",
        "в потоке нет заголовка VOL, без которого ни один плеер не начнёт его воспроизводить",
        "ни заголовок потока, ни главный заголовок не дают частоту кадров",
        "упакованные B-кадры — это не корректный MPEG-4, и некоторые плееры вне мира DivX на "
        "них сбиваются; фильтр ffmpeg mpeg4_unpack_bframes распаковывает их без потерь",
        "%1 — не код DivX, а смену метки на %2 записать нельзя: %3",
        "%1, который плееры профиля не декодируют",
        "%1 — не код, который принимает профиль (смените метку на %2)",
        "%1, который плееры профиля не открывают",
        "макроблоков в кадре: %1, больше %2",
        "GMC с точками деформации: %1, больше %2",
        "поток заявляет %1, больше, чем означает %2; плееры судят по самому потоку, а "
        "кодировщики часто пишут уровень как придётся",
        "%1 — не код, который принимает профиль, а те, что он принимает (%2), Vidtag не пишет",
        "ни один код не воспроизводится на обоих: %1",
        "ни один код не воспроизводится на всех: %1",
    },
}};

} // namespace

const char* CheckTextOf(int language, CheckText text) {
    return TextOf(kTexts, language, text);
}

} // namespace vidtag::check
