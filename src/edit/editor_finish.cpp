// The end of an editor's walk: the last batch of changes and the video made
// durable, what the walk met told, the side files closed, and the outcome.
#include "edit/editor_state.h"
#include "notices/walk_notices.h"

namespace {

// Where the walk stopped at damage or a failed read: an undo that had put
// back every listed position before it is complete all the same.
bool walk_damage(int32_t result) {
    return result == result_stream_id_error || result == result_read_error;
}

void misses_notify(const Editor* e, bool altered, const MarkerMisses* misses) {
    if (misses->count > 0) notify(e->notices, RestoreMissesNotice{altered, *misses});
}

// Results that say an undo found no marker file it could take.
bool marker_lacking(int32_t result) {
    return result == result_marker_missing || result == result_marker_unreadable ||
           result == result_marker_foreign || result == result_marker_linked;
}

// How the walk the request asked for ended.
RunEnding walk_ending(const Editor* e, int32_t result, bool partly) {
    if (result < 0) return e->mode == edit_restore && marker_lacking(result) ? ending_no_marker : ending_failed;
    if (e->mode == edit_list) return ending_listed;
    if (e->mode == edit_rewrite) return ending_converted;
    return partly ? ending_restored_partly : ending_restored;
}

// Everything was put back: the marker file goes, so that the next run
// records afresh; otherwise it stays for another try, and *partly says so
// where the walk reached the end.
int32_t restore_finish(Editor* e, int32_t walked, bool* partly) {
    MarkerRec* marker = &e->marker;
    marker_misses_finish(marker);
    bool complete = marker->missed.count == 0 && marker->altered.count == 0;
    bool damaged = walked < 0;
    if (!complete && !damaged) {
        notify(e->notices, notice_break);
        misses_notify(e, false, &marker->missed);
        misses_notify(e, true, &marker->altered);
    }
    if (complete) {
        e->outcome.time_known = marker->head.owner.time_known;
        e->outcome.written = marker->head.owner.written;
    }
    if (marker_release(marker) != 0) return result_marker_write_error;
    *partly = !complete && !damaged;
    if (!complete) return damaged ? walked : 0;
    if (damaged) notify(e->notices, RestoreDamagedNotice{static_cast<Result>(walked)});
    return file_remove(marker->name.c_str()) == 0 ? 0 : result_marker_remove_error;
}

// The last batch goes out, whatever stopped the walk (the changes before a
// stop stay made and recorded), and then the video is made durable: before
// the result is reported and the last-write time put back.
int32_t changes_finish(Editor* e, int32_t result) {
    int32_t committed = changes_flush(&e->changes);
    if (result >= 0 && committed != 0) result = committed;
    if (e->changes.written && file_sync(e->file) != 0 && result >= 0) result = result_write_error;
    return result;
}

// What the walk met on its way: where it stopped at damage, a read that
// came up short, lost sync, video on another PID, sites left alone.
void walk_notify(const Editor* e, int32_t result) {
    const WalkMet& w = e->walk.met;
    if (w.damage_at >= 0) {
        notify(e->notices, DamageNotice{w.damage_at, {w.damage_bytes[0], w.damage_bytes[1], w.damage_bytes[2]}});
    }
    if (result == result_read_error) {
        const BlockReader& r = e->walk.reader;
        notify(e->notices, ReadShortNotice{r.failed_at, r.failed_want, r.failed_got});
    }
    if (result == result_file_cut) notify(e->notices, FileCutNotice{e->changes.commit.cut_at});
    if (e->mode == edit_change_search || e->mode == edit_check) return;
    if (w.cut_at >= 0) notify(e->notices, CutShortNotice{w.cut_at, w.cut_beyond, w.cut_places});
    if (w.sync_losses > 0) notify(e->notices, SyncLostNotice{w.sync_losses, w.sync_skipped});
    if (w.other_video.headers > 0) notify(e->notices, OtherVideoNotice{w.other_video.pid, w.other_video.headers});
    if (w.sets_other > 0) notify(e->notices, DiscSetsOtherNotice{w.first_set_other, w.sets_other});
    uint32_t false_headers = site_scan_false_headers(&e->scanner);
    if (false_headers > 0) notify(e->notices, FalseHeadersNotice{false_headers});
    const SiteTally& t = e->tally;
    uint32_t same_kind = t.no_field + t.no_code + t.escaping + t.across_repeat;
    if (same_kind > 0) {
        notify(e->notices, SetsLeftNotice{same_kind, t.no_field, t.no_code, t.escaping, t.across_repeat});
    }
    for (uint32_t k = 0; k < t.other_kinds; ++k) {
        notify(e->notices, t.others[k]);
    }
    if (t.others_more > 0) notify(e->notices, SetsOtherMoreNotice{t.others[0].site, t.others_more});
    const DvFrameTally* frames = site_scan_frames(&e->scanner);
    if (frames != nullptr && e->mode == edit_list) {
        notify(e->notices, DvFramesNotice{frames->frames, frames->disagreeing, frames->first_disagreeing});
    }
}

// Whether every listed position held what the marker's runs wrote: the
// walk reached each, or stopped at damage after the last.
void held_finish(Editor* e, int32_t result) {
    MarkerRec* marker = &e->marker;
    marker_misses_finish(marker);
    bool walked = result >= 0 || (e->walked && walk_damage(result));
    e->outcome.held = e->marker_open && walked && marker->missed.count == 0 && marker->altered.count == 0;
    marker_release(marker);
    e->outcome.run.result = static_cast<Result>(result);
}

int32_t side_files_close(Editor* e) {
    int32_t closed = 0;
    bool list_made = e->list.text.open || e->list_lost;
    if (e->mode == edit_list && list_made && list_file_finish(&e->list) != 0) {
        closed = e->list_not_ours ? result_list_not_ours : result_list_write_error;
    }
    if (marker_release(&e->marker) != 0) closed = result_marker_write_error;
    return closed;
}

}  // namespace

void tally_count(SiteTally* tally, AspectEdit edit) {
    if (edit == aspect_edit_no_field) ++tally->no_field;
    if (edit == aspect_edit_no_code) ++tally->no_code;
    if (edit == aspect_edit_escaping || edit == aspect_edit_unread) ++tally->escaping;
}

void tally_other(SiteTally* tally, const AspectSite* site, const SiteReading* reading) {
    for (uint32_t k = 0; k < tally->other_kinds; ++k) {
        SetsOtherNotice& o = tally->others[k];
        bool same = o.site == site->kind && o.sps_id == reading->id && o.width == reading->width &&
                    o.height == reading->height && o.form == reading->form;
        if (same) {
            ++o.count;
            return;
        }
    }
    if (tally->other_kinds == sets_other_kinds_most) {
        ++tally->others_more;
        return;
    }
    tally->others[tally->other_kinds++] = {site->kind, reading->id, reading->width, reading->height, reading->form, 1};
}

uint32_t tally_total(const SiteTally* tally) {
    uint32_t total = tally->no_field + tally->no_code + tally->escaping + tally->across_repeat + tally->others_more;
    for (uint32_t k = 0; k < tally->other_kinds; ++k) total += tally->others[k].count;
    return total;
}

void editor_finish(Editor* e, int32_t result) {
    result = changes_finish(e, result);
    pack_run_tell(e);
    walk_notify(e, result);
    RunOutcome& run = e->outcome.run;
    if (result_of_broken_unit(result)) run.position = e->walk.reader.broken_at;
    if (e->mode == edit_held) {
        held_finish(e, result);
        return;
    }
    // A listing that found every site as the marker's last run left it.
    if (e->done_check && !e->pending && result == 0) e->outcome.time_known = true;
    if (e->mode == edit_change_search || e->mode == edit_check) {
        if (e->mode == edit_change_search) e->outcome.change_needed = result == result_found;
        marker_release(&e->marker);
        run.result = result == result_found ? result_ok : static_cast<Result>(result);
        return;
    }
    if (e->mode == edit_restore && e->marker_open && (result >= 0 || (e->walked && walk_damage(result)))) {
        bool partly = false;
        run.result = static_cast<Result>(restore_finish(e, result, &partly));
        run.ending = walk_ending(e, run.result, partly);
        return;
    }
    int32_t closed = side_files_close(e);
    run.result = static_cast<Result>(result < 0 ? result : closed);
    run.ending = walk_ending(e, run.result, false);
    run.marker_created = e->marker.created;
    run.sets_left = tally_total(&e->tally) > 0;
}
