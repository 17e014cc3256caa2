#include <gtest/gtest.h>

#include <cstring>

#include "console/console.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "support.h"

namespace {

struct MessageCase {
    const char* stored;
    const char* utf8;
};

// Each stored text against its Japanese converted independently, so that a
// wrong byte in the catalogue cannot slip through.
const MessageCase message_cases[] = {
    {msg_banner_rule, "\n-------------------------------------------------\n"},
    {msg_banner_title, "Morvalen CUI版 v0.51"},
    {msg_usage_1, "コマンドライン >morvalencmd [-o -l -r -u -c --json] ファイル名(xxx.mpg)\n"},
    {msg_usage_2, "オプション説明\n"},
    {msg_usage_3, "-l アスペクトを記録する場所(sequence header、SPS、VOLなど)のリストアップ\n"},
    {msg_usage_u, "-u iniファイルの記録どおりに元に戻す\n"},
    {msg_usage_json, "--json 結果をファイルごとに1行のJSON(UTF-8)で出力する\n"},
    {msg_usage_version, "--version バージョンを表示する\n"},
    {msg_usage_help, "-h --help この説明を表示する\n"},
    {msg_press_any_key, "\n何かキーを押すと終了します"},
    {msg_usage_4, "-onn 出力アスペクト比の指定(nnはアスペクトの番号)\n"},
    {msg_usage_5, "MPEG-1の場合、VideoCD規格は12\n"},
    {msg_usage_6, "MPEG-2の場合、4:3が2,16:9が3\n"},
    {msg_usage_7, "例) morvalencmd -o3 mpeg2file.mpg\n"},
    {msg_usage_8, "mpeg2file.mpgを16:9に変換します。\n"},
    {msg_usage_9, "-r ヘッダー範囲検索をする\n"},
    {msg_usage_10, "※壊れた所は、続きのパックヘッダーまで飛ばします\n\n"},
    {msg_usage_11, "オプションを指定しない場合\n"},
    {msg_usage_12, "MPEG1...VCD規格(4:3)へ変換\n"},
    {msg_usage_13, "MPEG2...4:3<-->16:9を相互変換\n"},
    {msg_usage_others, "ほかのビデオ...表示されるアスペクトの4:3<-->16:9を相互変換\n\n"},
    {msg_usage_14, "エラー:ファイル名が指定されていません\n\n"},
    {msg_option_l, "-l オプションセット\n"},
    {msg_option_o, "-o オプションセット\n"},
    {msg_option_r, "-r オプションセット\n"},
    {msg_option_c, "-c オプションセット\n"},
    {msg_usage_c, "-c コンテナの場所だけを変え、コーデック自身の記録(SPSなど)はそのままにする\n"},
    {msg_option_u, "-u オプションセット\n"},
    {msg_undo_conflict, "エラー:-uは-l、-oと一緒に指定できません\n"},
    {msg_aspect_given_text, "%sが指定されました\n"},
    {msg_open_refused, "ファイルに書き込めません(読み取り専用か、書き込みの権限がありません)\n"},
    {msg_no_mpeg_video, "MPEG-1/MPEG-2/MPEG-4/H.264/HEVC/DVのビデオがありません\n"},
    {msg_restored, "元に戻しました(iniファイル削除)"},
    {msg_restore_partial, "一部を元に戻せませんでした(iniファイルは残してあります)"},
    {msg_engine_read, "ファイルの読み込みに失敗しました"},
    {msg_engine_marker_write, "iniファイルの書き込みに失敗しました"},
    {msg_engine_marker_foreign, "iniファイルはこの動画のものではありません"},
    {msg_engine_marker_linked, "iniファイルがリンクか、ほかの名前からも使われているので使えません"},
    {msg_marker_other_name,
     "iniファイルは別の動画(%s %I64dバイト)の記録です。どちらかの名前を変えてから実行してください\n"},
    {msg_marker_other_size,
     "iniファイルの記録(%I64dバイト)と動画の大きさが違います。別の動画の記録なので、"
     "iniファイルの名前を変えてから実行してください\n"},
    {msg_marker_other_rate,
     "iniファイルの記録とフレームレートが違います。iniファイルが作られた動画ではありません\n"},
    {msg_other_video, "別のビデオストリーム(PID %#x、sequence header %u個)は変換していません"},
    {msg_open_held_by_run,
     "別のmorvalencmdがこのファイルを処理しています。終わってからもう一度実行してください(%d)\n"},
    {msg_not_regular_file, "通常のファイルではありません(FIFO、デバイスなど)\n"},
    {msg_empty_file, "ファイルが空です(0バイト)\n"},
    {msg_all_zero_file, "ファイルの中身がすべて0です\n"},
    {msg_already_target, "すべてのsequence headerがすでに%sです。変換するものはありません\n"},
    {msg_engine_list_write, "リストファイルの書き込みに失敗しました"},
    {msg_engine_close, "ファイルのクローズに失敗しました"},
    {msg_engine_no_sequence_header, "ビデオのsequence headerが見つかりません"},
    {msg_engine_marker_unreadable, "iniファイルの内容が読めません"},
    {msg_engine_marker_missing, "iniファイルがありません"},
    {msg_engine_marker_remove, "iniファイルを削除できませんでした"},
    {msg_read_short, "読み込みエラー: 位置%I64dから%uバイトのうち%uバイトしか読めませんでした"},
    {msg_restore_missed, "iniファイルに記録された位置のうち%I64dか所にsequence headerがありません\n"},
    {msg_restore_missed_position, "  位置%I64d\n"},
    {msg_sync_lost, "同期を%u回失い、%I64dバイトを飛ばしました"},
    {msg_no_file, "ファイルが指定されていません\n"},
    {msg_open_gave_up, "何らかの原因で、読み書きができない状態です(%d)\n"},
    {msg_not_mpeg, "MPEGではありません\n"},
    {msg_opened_late, "ほかのプログラムか別のmorvalencmdがファイルを使っていたので、空くのを待ってから始めました\n"},
    {msg_source_aspect, "変換元アスペクト:%s\n"},
    {msg_target_aspect, "変換先アスペクト:%s\n"},
    {msg_aspect_out_of_range, "エラー:アスペクト番号が、0～15内にありません\n"},
    {msg_aspect_given, "%dが指定されました\n"},
    {msg_target_equals_source, "変換先アスペクトが指定されていません\n"},
    {msg_list_done, "\nリストアップ終了\n"},
    {msg_converted_ini_created, "変換済(iniファイル作成)"},
    {msg_converted, "変換済"},
    {msg_engine_open, "ファイルオープンエラー(R/W)"},
    {msg_engine_buffer_1, "バッファ確保エラー(1)"},
    {msg_engine_buffer_2, "バッファ確保エラー(2)"},
    {msg_engine_stream_id, "ストリームIDが見つかりません"},
    {msg_engine_ini_create, "iniファイル生成エラー(W)"},
    {msg_engine_write, "アスペクト情報の書き換えに失敗しました"},
    {msg_error_end, "エラー終了(%d)"},
    {msg_stream_id_bytes, "ストリームIDが見つかりません(%#x %#x %#x)"},
    {msg_stream_broken_at, "位置%I64dからストリームが壊れています(-rを付けると、その先を探して続けます)"},
    {msg_option_after_name, "エラー:ファイル名の後にオプション(%s)があります。オプションはファイル名より前に指定してください\n"},
    {msg_batch_file, "\nファイル:%s\n"},
    {msg_batch_missing, "ファイルが見つかりません\n"},
    {msg_batch_no_video, "変換できるビデオがないので飛ばします\n"},
    {msg_batch_no_marker, "iniファイルがないので、元に戻すものはありません\n"},
    {msg_batch_total, "\n%u個のファイル: 完了%u、変換するものなし%u、失敗%u、対象外%u\n"},
    {msg_batch_failed, "失敗:%s(終了コード%d)\n"},
    {msg_folder_unreadable, "フォルダーの中を読めません\n"},
    {msg_folder_no_mpeg, "MPEGのファイルがありません\n"},
    {msg_dvd_title_set, "\nDVD-Video タイトルセット%02u\n"},
    {msg_dvd_code_only, "エラー:DVD-Videoのアスペクト番号は2(4:3)か3(16:9)だけです\n"},
    {msg_dvd_not_mpeg2, "MPEG-2ではないので、このタイトルセットは飛ばします\n"},
    {msg_dvd_no_title_vob, "タイトルのVOBがないので、このタイトルセットは飛ばします\n"},
    {msg_dvd_made_consistent, "IFOとVOBのアスペクトがそろっていないので、最初のVOBの先頭と同じ%sにそろえます\n"},
    {msg_dvd_ifo_kept, "VOBがすべては終わらなかったので、IFOとBUPは変えていません\n"},
    {msg_dvd_ifo_already, "ビデオ属性はすでに%sです。変換するものはありません\n"},
    {msg_dvd_aspects, "IFOのアスペクト:%s ビデオのアスペクト:%s\n"},
    {msg_engine_not_dvd_ifo, "DVD-VideoのIFOではありません(DVDVIDEO-VTSがありません)"},
    {msg_engine_no_sps, "SPS(シーケンスパラメータセット)が見つかりません"},
    {msg_sps_left, "その場で書き換えられないSPSが%u個あり、そのままにしました(アスペクト情報なし%u個、表の番号がない%u個、長さかほかのバイトが変わる%u個、二度送られたパケットにまたがる%u個)"},
    {msg_sps_no_aspect_field, "SPSにアスペクト情報がないため、その場では書き換えられません\n"},
    {msg_vol_no_aspect_field, "VOLのアスペクト情報が決められていない値なので、その場では書き換えられません\n"},
    {msg_sps_no_table_code, "SAR %u:%uは表の番号にないため、番号で書かれたSPSはその場では書き換えられません\n"},
    {msg_sps_aspect_out_of_range, "エラー:H.264/HEVCのアスペクト番号は1～4です\n"},
    {msg_sar_unspecified, "未指定"},
    {msg_sps_already_target, "すべてのSPSがすでに%sです。変換するものはありません\n"},
    {msg_progress_minutes, "経過/残り時間 %d:%.2d/約%d分"},
    {msg_progress_seconds, "経過/残り時間 %d:%.2d/約%d秒"},
    {msg_progress_percent, "処理中(%d%%)"},
    {msg_engine_list_not_ours, "同じ名前のtxtファイルはこのツールのリストではないので、そのままにしました(リストは画面にだけ表示しました)"},
    {msg_tail_unreadable, "ファイルの末尾を読み込めませんでした\n"},
    {msg_restore_altered, "iniファイルに記録された位置のうち%I64dか所は、このツールが書いた値ではなくなっているので、そのままにしました\n"},
    {msg_already_converted, "%sから%sに変換してあります。元に戻すには-uを付けて実行してください\n"},
    {msg_batch_duplicate, "同じファイルをすでに処理したので飛ばします\n"},
    {msg_dvd_ifo_not_restored, "VOBがすべては元に戻らなかったので、IFOとBUPは戻していません\n"},
    {msg_dvd_set_left, "開けないファイルがあるので、このタイトルセットはどのファイルも書き換えていません\n"},
    {msg_dvd_bup_differs, "BUPのビデオ属性がIFOと違っています(前の実行が途中で終わったようです)。BUPもそろえます\n"},
    {msg_sps_other, "SPS id %u、%ux%u:最初のSPSと違うので、%u個はそのままにしました"},
    {msg_sps_other_more, "ほかにも違うSPSが%u個あり、そのままにしました"},
    {msg_engine_sps_unreadable, "SPSはありますが、このツールでは読めない形です"},
    {msg_engine_video_pid_empty, "番組表にあるビデオのパケットがファイルにありません"},
    {msg_engine_video_scrambled, "ビデオのパケットがスクランブルされているので読めません"},
    {msg_no_video_scrambled, "スクランブルされたパケットがあり、MPEG-1/MPEG-2/MPEG-4/H.264/HEVC/DVのビデオが見つかりません\n"},
    {msg_display_size, "sequence_display_extensionの表示サイズ:%ux%u\n"},
    {msg_display_unchanged, "sequence_display_extensionの表示サイズが%ux%uなので、よく使われるプレーヤーでは変換後も%sのまま表示されます\n"},
    {msg_unknown_option, "エラー:%sというオプションはありません\n"},
    {msg_places_disagree, "アスペクトが場所によって違います。よく使われるプレーヤーが表示する%sを変換元にします\n"},
    {msg_place_aspect, "  %s:%s\n"},
    {msg_no_default_target, "表示されるアスペクト%sは4:3でも16:9でもないので、変換先が決まりません。"
                            "-o2(4:3)か-o3(16:9)のように-oで指定してください\n"},
    {msg_list_no_place, "表示サイズなし(場所ではありません)"},
    {msg_list_no_aspect, "アスペクトの記録なし(場所ではありません)"},
    {msg_why_fixed, "コーデック自身の記録で、このツールでは変えない"},
    {msg_place_frame_header, "フレームのヘッダー"},
    {msg_first_no_field, "%sにアスペクト情報がないので、コンテナの場所だけが変わります。%sだけを読むプレーヤーでは正方形の画素で表示されます\n"},
    {msg_first_undefined_takes, "%sのアスペクト情報が決められていない値なので、コンテナの場所と一緒に、%sもその場で変換先のアスペクトに変わります\n"},
    {msg_no_container_place, "-cはコンテナの場所だけを変えますが、このファイルにはコンテナの場所がありません。何も書き換えていません\n"},
    {msg_container_only_hint, "-cを付けると、コンテナの場所(%s)だけを変えて%sはそのままにします。よく使われるプレーヤーでは変換先のアスペクトで、%sだけを読むプレーヤーでは今のアスペクトで表示されます\n"},
    {msg_codec_place_left, "%s:%sはそのままにしました(ここだけを読むプレーヤーではこのアスペクトで表示されます)\n"},
    {fmt_summary_container, "%s %ux%u 表示 %s->%s %s %s (アスペクトはコンテナの場所だけ)"},
    {msg_foreign_video, "%sのビデオは変換できません(変換できるのはMPEG-1/MPEG-2/MPEG-4/H.264/HEVC/DVのビデオです)\n"},
    {msg_tail_read_error, "解析の途中でファイルが短くなりました(ほかのプログラムが切り詰めたようです)\n"},
    {msg_head_read_error, "ファイルの先頭を読み込めませんでした\n"},
    {msg_buffer_error, "メモリが足りません\n"},
};

TEST(Messages, EveryTextIsItsJapaneseInCodePage932) {
    for (const MessageCase& c : message_cases) {
        EXPECT_EQ(std::string(c.stored), cp932(c.utf8)) << c.utf8;
    }
}

std::string formatted(const char* format, ...) {
    char out[512];
    va_list args;
    va_start(args, format);
    text_vformat(out, sizeof out, format, args);
    va_end(args);
    return out;
}

TEST(TextFormat, SixtyFourBitConversions) {
    EXPECT_EQ(formatted("%I64d", 4294967296LL), "4294967296");
    EXPECT_EQ(formatted("%I64d", -5LL), "-5");
    EXPECT_EQ(formatted("%12I64d|", 2092LL), "        2092|");
    EXPECT_EQ(formatted("%08I64x", 0x82cULL), "0000082c");
    EXPECT_EQ(formatted("%08I64x", 0x123456789aULL), "123456789a");
}

TEST(TextFormat, HashHexAlwaysHasItsPrefix) {
    EXPECT_EQ(formatted(msg_stream_id_bytes, 0, 0, 0), cp932("ストリームIDが見つかりません(0x0 0x0 0x0)"));
    EXPECT_EQ(formatted("%#x %#x", 0xff, 1), "0xff 0x1");
}

TEST(TextFormat, OrdinaryConversionsPassThrough) {
    EXPECT_EQ(formatted("%d:%.2d %s %%", 7, 5, "x"), "7:05 x %");
    EXPECT_EQ(formatted("%.2f", 1000.0), "1000.00");
}

TEST(CrlfExpand, OnlyLineFeedsGrow) {
    const char text[] = "a\nb\r\n\n";
    char out[2 * sizeof text];
    size_t n = crlf_expand(text, std::strlen(text), out);
    EXPECT_EQ(std::string(out, n), "a\r\nb\r\r\n\r\n");
}

TEST(TextFile, LinesEndInCrLfAndGoOutWhenFlushed) {
    ScratchDir dir;
    fs::path path = dir / "out.txt";
    TextFileRec* text = new TextFileRec;
    ASSERT_EQ(text_file_create(text, path.string().c_str()), 0);
    EXPECT_EQ(text_file_print(text, fmt_marker_first, 36), 0);
    EXPECT_EQ(text_file_print(text, fmt_marker_position_byte, 4294967296LL, 52), 0);
    EXPECT_EQ(read_text(path), "");
    EXPECT_EQ(text_file_flush(text), 0);
    EXPECT_EQ(read_text(path), "36\r\n4294967296 52\r\n");
    EXPECT_EQ(text_file_close(text), 0);

    FileHandleRec file = {os_invalid_handle, 0, 0};
    ASSERT_EQ(file_open(&file, path.string().c_str(), generic_read | generic_write), 0);
    text_file_attach(text, &file);  // appends
    text_file_print(text, fmt_marker_position, 7LL);
    EXPECT_EQ(text_file_close(text), 0);
    EXPECT_EQ(read_text(path), "36\r\n4294967296 52\r\n7\r\n");
    EXPECT_NE(text_file_create(text, path.string().c_str()), 0);
    delete text;
}

#ifdef _WIN32
// What a console is given: the stored bytes as UTF-16, one character for
// each double-byte pair.
TEST(ConsoleUnicode, CodePage932BecomesUtf16) {
    const std::string text = msg_converted_ini_created;
    wchar_t wide[64] = {};
    int units = os_cp932_to_utf16(text.data(), static_cast<int>(text.size()), wide, 64);
    EXPECT_EQ(std::wstring(wide, static_cast<size_t>(units)), L"変換済(iniファイル作成)");
}
#endif

}  // namespace
