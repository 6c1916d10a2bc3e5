# The events mode of scripts/bench-sync (sourced by it; uses its measure, ratio, work, server,
# program, tool, stores and counts): a first download of N generated events from the server's
# calendar datastore into an empty folder store (the reference) and an empty Outlook profile.
# shellcheck shell=bash disable=SC2154  # the variables named above are set by bench-sync

# Days since 1970-01-01 of a civil date and back, for the generator (mawk has no time functions).
event_date_functions='
  function days_of(y, m, d,   era, yoe, doy) {
    y -= (m <= 2); era = int((y >= 0 ? y : y - 399) / 400); yoe = y - era * 400
    doy = int((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5) + d - 1
    return era * 146097 + yoe * 365 + int(yoe / 4) - int(yoe / 100) + doy - 719468
  }
  function date_of(z,   era, doe, yoe, doy, mp, d, m, y) {
    z += 719468; era = int((z >= 0 ? z : z - 146096) / 146097); doe = z - era * 146097
    yoe = int((doe - int(doe / 1460) + int(doe / 36524) - int(doe / 146096)) / 365)
    doy = doe - (365 * yoe + int(yoe / 4) - int(yoe / 100)); mp = int((5 * doy + 2) / 153)
    d = doy - int((153 * mp + 2) / 5) + 1; m = mp + (mp < 10 ? 3 : -9); y = yoe + era * 400 + (m <= 2)
    return sprintf("%04d%02d%02d", y, m, d)
  }'

# generate_events <count> <server folder> <expected list>: one iCalendar file per event on the
# server. Every tenth is a weekly series of 20 with its third occurrence deleted and its fifth
# moved; the moved occurrence is an item of its own, as the server keeps one event per item (it
# reads only one of several events in one item) and as a client's upload leaves it; every tenth from the fifth on is all-day (every
# third of those three days long); two of three have a reminder, a quarter attendees (one name
# with a comma) and an organizer. The expected list holds "summary<TAB>start" of every event and
# moved occurrence, then the totals of rules, excluded dates, reminders and attendees.
generate_events() {
  mkdir -p "$2"
  awk -v count="$1" -v folder="$2" -v expected="$3" "$event_date_functions"'
  function line(text) { item = item text "\r\n" }
  BEGIN {
    split("Review Planning Standup Workshop Interview Training Lunch Retrospective", topic, " ")
    split("Anna Ben Clara David Emma Felix Greta Hugo", given, " ")
    split("Berger Fischer Hoffmann Klein Lange Meyer", family, " ")
    first = days_of(2027, 1, 4)
    for (i = 1; i <= count; i++) {
      day = first + i % 300; hour = 8 + i % 9; summary = sprintf("%s %05d", topic[i % 8 + 1], i)
      item = ""
      line("BEGIN:VCALENDAR"); line("VERSION:2.0"); line("PRODID:-//Larkspan//bench-sync//EN")
      line("BEGIN:VEVENT"); line(sprintf("UID:bench-event-%05d", i)); line("DTSTAMP:20261201T120000Z")
      line("SUMMARY:" summary); line(sprintf("LOCATION:Room %d", i % 40 + 1))
      line(sprintf("DESCRIPTION:Generated event number %d\\, with an agenda", i))
      if (i % 7 == 0) line("CATEGORIES:Business")
      if (i % 10 == 5) {
        start = date_of(day); length_days = (i % 30 == 5) ? 3 : 1
        line("DTSTART;VALUE=DATE:" start); line("DTEND;VALUE=DATE:" date_of(day + length_days))
      } else {
        start = sprintf("%sT%02d0000Z", date_of(day), hour)
        line("DTSTART:" start); line(sprintf("DTEND:%sT%02d3000Z", date_of(day), hour))
      }
      print summary "\t" start > expected
      if (i % 10 == 0) {
        line("RRULE:FREQ=WEEKLY;COUNT=20"); line(sprintf("EXDATE:%sT%02d0000Z", date_of(day + 14), hour))
        rules++; excluded++
      }
      if (i % 4 == 1) {
        line(sprintf("ORGANIZER;CN=%s %s:mailto:organizer%d@example.org", given[i % 8 + 1], family[i % 6 + 1], i))
        line(sprintf("ATTENDEE;CN=\"%s, %s\";PARTSTAT=ACCEPTED:mailto:%s.%s@example.org", family[i % 6 + 1], given[i % 8 + 1], tolower(given[i % 8 + 1]), tolower(family[i % 6 + 1])))
        line(sprintf("ATTENDEE;CN=%s %s;PARTSTAT=NEEDS-ACTION:mailto:guest%d@example.org", given[(i + 3) % 8 + 1], family[(i + 1) % 6 + 1], i))
        attendees += 2
      }
      if (i % 3 != 0) {
        line("BEGIN:VALARM"); line("ACTION:DISPLAY"); line("DESCRIPTION:Reminder"); line("TRIGGER:-PT15M"); line("END:VALARM")
        reminders++
      }
      line("END:VEVENT"); line("END:VCALENDAR")
      name = sprintf("%s/e%05d", folder, i)
      printf "%s", item > name; close(name)
      if (i % 10 == 0) {
        moved = sprintf("%sT%02d0000Z", date_of(day + 28), (hour + 5) % 24)
        item = ""
        line("BEGIN:VCALENDAR"); line("VERSION:2.0"); line("PRODID:-//Larkspan//bench-sync//EN")
        line("BEGIN:VEVENT"); line(sprintf("UID:bench-event-%05d", i)); line("DTSTAMP:20261201T120000Z")
        line(sprintf("RECURRENCE-ID:%sT%02d0000Z", date_of(day + 28), hour)); line("SUMMARY:" summary " (moved)")
        line(sprintf("LOCATION:Room %d", i % 40 + 1))
        line("DTSTART:" moved); line(sprintf("DTEND:%sT%02d3000Z", date_of(day + 28), (hour + 5) % 24))
        line("END:VEVENT"); line("END:VCALENDAR")
        print summary " (moved)\t" moved > expected
        name = sprintf("%s/e%05d-moved", folder, i)
        printf "%s", item > name; close(name)
      }
    }
    printf "#totals rules=%d excluded=%d reminders=%d attendees=%d\n", rules, excluded, reminders, attendees > expected
    close(expected)
  }'
}

# calendar_digest <files...>: the same list as the generator's from iCalendar or vCalendar texts:
# "summary<TAB>start" of every event (the value of DTSTART without parameters), sorted, then the
# totals. A vCalendar "AALARM"/"DALARM" or iCalendar "VALARM" counts as a reminder.
calendar_digest() {
  awk '
    { sub(/\r$/, "") }
    /^BEGIN:VEVENT/ { summary = ""; start = ""; alarm = 0 }
    /^SUMMARY[;:]/ { summary = substr($0, index($0, ":") + 1) }
    /^DTSTART[;:]/ { start = substr($0, index($0, ":") + 1) }
    /^RRULE[;:]/ { rules++ }
    /^EXDATE[;:]/ { n = split(substr($0, index($0, ":") + 1), dates, ","); excluded += n }
    /^(BEGIN:VALARM|AALARM|DALARM)/ { alarm = 1 }
    /^ATTENDEE[;:]/ { attendees++ }
    /^END:VEVENT/ { print summary "\t" start | "LC_ALL=C sort"; reminders += alarm }
    END { close("LC_ALL=C sort"); printf "#totals rules=%d excluded=%d reminders=%d attendees=%d\n", rules, excluded, reminders, attendees }
  ' "$@"
}

# prepare_event_client <count> <store>: a private home with one calendar link to the server's
# "events" datastore and an empty store. Sets the array client_env.
prepare_event_client() {
  local home="$work/$1-events-$2" identity settings
  identity="larkspan-events-$2-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
  scripts/syncml-server add-peer "$server" "$identity" bench bench-secret
  printf -v settings 'sync_with_outlook=1\nOutlookID=%s\nsync_ab=0\nsync_cal=1\nsync_tasks=0\nsync_period=5\n' "$identity"
  client_home "$home" "$settings" $'[sync_1]\nserver_uri=./events\nclient_name=Calendar\nclient_full_path=Calendar\nsync_mode=0\ndata_type=1\nclient_app=1\nsync_state=0\n'
  case "$2" in
    folder)
      mkdir -p "$home/items/contacts" "$home/items/events" "$home/items/tasks"
      client_env+=(LARK_FOLDER_STORE="$home/items")
      ;;
    outlook)
      # An empty profile with its default folders, made before the timed run.
      "${client_env[@]}" "$tool" outlook folders >"$home/folders.out"
      ;;
  esac
}

# check_events <count> <store>: every generated event arrived with its summary, start, rule,
# excluded date, reminder and attendees.
check_events() {
  local home="$work/$1-events-$2" held
  case "$2" in
    folder)
      held=$(find "$home/items/events" -type f | wc -l)
      calendar_digest "$home/items/events"/* >"$home/digest"
      ;;
    outlook)
      held=$("${client_env[@]}" "$tool" outlook items calendar | wc -l)
      "${client_env[@]}" "$tool" outlook export calendar "$home/exported.ics" >"$home/export.out"
      calendar_digest "$home/exported.ics" >"$home/digest"
      ;;
  esac
  [ "$held" -eq "$1" ] || { echo "larkspan ($2) holds $held of $1 events" >&2; exit 1; }
  if ! diff -u "$work/$1-events-expected.sorted" "$home/digest" >"$home/digest.diff"; then
    echo "larkspan ($2): the events differ from the generated ones (see $home/digest.diff):" >&2
    head -n 20 "$home/digest.diff" >&2
    exit 1
  fi
}

run_events() {
  declare -a event_report
  local count store name quiet_zeros
  for count in "${counts[@]}"; do
    scripts/syncml-server stop "$server" >/dev/null 2>&1 || true
    rm -rf "$server"
    scripts/syncml-server start "$server" >/dev/null
    url=$(scripts/syncml-server url "$server")
    echo "== $count events: generating them on the server"
    generate_events "$count" "$server/data/events" "$work/$count-events-expected"
    { grep -v '^#' "$work/$count-events-expected" | LC_ALL=C sort; grep '^#' "$work/$count-events-expected"; } \
      >"$work/$count-events-expected.sorted"
    for store in "${stores[@]}"; do
      echo "== $count events, $store store: larkspan (first sync into an empty store, no changes)"
      prepare_event_client "$count" "$store"
      name="$count-events-$store"
      measure "$name-first" "${client_env[@]}" "$program" /silent
      measure "$name-quiet" "${client_env[@]}" "$program" /silent
      quiet_zeros=$(grep -c -E '^  (Additions|Updates|Deletions) found in local database: 0$' "$work/$name-quiet.out" || true)
      [ "$quiet_zeros" -eq 3 ] || { echo "larkspan ($store) sent changes in the no-change run (see $work/$name-quiet.out)" >&2; exit 1; }
      check_events "$count" "$store"
      event_report+=("$count $store")
    done
  done

  echo
  echo "== Results (server at a loopback address; every store holds every event, checked field by field)"
  printf '%-7s %-8s %-12s %9s %9s %10s   %s\n' "count" "store" "run" "wall [s]" "CPU [s]" "peak [MB]" "ratios to the folder store: wall CPU peak"
  local entry run ours theirs
  for entry in "${event_report[@]}"; do
    read -r count store <<<"$entry"
    for run in first quiet; do
      ours="$count-events-$store-$run" theirs="$count-events-folder-$run"
      printf '%-7s %-8s %-12s %9s %9s %10s   %s %s %s\n' "$count" "$store" "$run" "${wall[$ours]}" "${cpu[$ours]}" "${rss[$ours]}" \
        "$(ratio "${wall[$ours]}" "${wall[$theirs]:-0}")" "$(ratio "${cpu[$ours]}" "${cpu[$theirs]:-0}")" "$(ratio "${rss[$ours]}" "${rss[$theirs]:-0}")"
    done
  done
  echo "(runs: first = first sync into an empty store, quiet = second run without changes; events, not items:"
  echo " a series and its moved occurrence are one)"
}
