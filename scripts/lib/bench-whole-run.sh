# The wizard's whole best-subtitle run, measured by scripts/bench; sourced.
#
#   bench_whole_run PREFIX FOLDER RUNS
#
# Runs `Morvane.exe FINGERPRINT PATH 42 melhor` (the bench-win64 build,
# x86_64) against subtitle-server (native build, sample library in FOLDER)
# on the preset's own loopback ports, timed from its start to its exit,
# against a trivial Windows program started the same way plus the same
# three requests made by curl. RUNS runs of each, in turns, medians. Three
# settings of Wine's desktop:
#   - already running, as Windows' own shell always is (the target's row);
#   - not running: Wine starts its desktop process for the wizard's window;
#   - a Wine virtual desktop with its own tray (explorer /desktop=...).
# In the first, a program that only opens a hidden window is timed as well:
# Wine's start-up of any GUI program. Prints the table's rows on stdout and
# the single times on stderr. Needs DISPLAY and a Wine server kept for
# PREFIX; the service must not be running yet. Run from the repository's root.

source scripts/lib/subtitle-server.sh

whole_run_target=1.3

# Milliseconds since the epoch.
bench_now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The median of the numbers given.
bench_median() {
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The desktop processes (explorer.exe) of this prefix.
bench_desktop_pids() {
  local pid
  for pid in $(pgrep -x explorer.exe); do
    if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
    fi
  done
}

# Waits up to 20 s until Wine's desktop process of this prefix has gone.
bench_wait_for_no_desktop() {
  local _
  for _ in $(seq 200); do
    [ -z "$(bench_desktop_pids)" ] && return 0
    sleep 0.1
  done
  return 1
}

bench_whole_run() {
  local prefix=$1 folder runs=$3
  folder=$(realpath -m "$2")
  local wine=wine
  if [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export WINELOADER=/usr/lib/wine/wine64
    wine=/usr/lib/wine/wine64
  fi
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEARCH=win64
  export LC_ALL=C.UTF-8

  local service_host image_host
  service_host=$(sed -n 's/^MORVANE_SERVICE_HOST:STRING=//p' build/bench-win64/CMakeCache.txt)
  image_host=$(sed -n 's/^MORVANE_IMAGE_HOST:STRING=//p' build/bench-win64/CMakeCache.txt)
  rm -rf "$folder"
  mkdir -p "$folder"
  # Another program's connection may hold one of the ports for a while: wait
  # a minute and try again.
  local attempt started=
  for attempt in 1 2 3; do
    if start_subtitle_server "$folder/service.log" --database "$folder/subtitles.db" \
        --bind "${service_host%%:*}" --port "${service_host##*:}" --image-port "${image_host##*:}" \
        2>/dev/null; then
      started=yes
      break
    fi
    echo "subtitle-server could not listen on $service_host and $image_host; trying again in a minute" >&2
    sleep 60
  done
  if [ -z "$started" ]; then
    echo "| Whole run | (subtitle-server could not listen on $service_host) | | | ≤ ${whole_run_target}× | no |"
    return 1
  fi

  # The first sample video, its fingerprint (the library's first subtitle
  # is for it) and the record the service names best for it.
  local video="$folder/samples/Sample Film 1.avi"
  local placed="$folder/samples/Sample Film 1.srt"
  local fingerprint hash id date url="http://$service_host/webService/downloadManager"
  fingerprint=$(build/native/bin/subtitle-server list --database "$folder/subtitles.db" |
    sed -n 's/^subtitle 1\tvideo \([0-9a-f]*\)\t.*/\1/p')
  hash=$(printf '%s' "$fingerprint" | base64)
  local form=application/x-www-form-urlencoded
  local best
  best=$(curl -s -H "Content-Type: $form" --data-binary \
    "version=100&response=xml&cod_language=42&hash=$hash" "$url/get_best_subtitle_by_hash.php")
  id=$(sed -n 's/.*<id>\([^<]*\)<\/id>.*/\1/p' <<<"$best")
  date=$(sed -n 's/.*<date>\([^<]*\)<\/date>.*/\1/p' <<<"$best")
  local windows_video="Z:${video//\//\\}"
  local starred=${windows_video// /*}
  local bin="$PWD/build/bench-win64/bin"

  # Runs that did not do their work, one line each (the timings run in
  # subshells).
  local failures="$folder/failures"
  : >"$failures"
  # One run of the wizard; it must leave the subtitle beside the video.
  wizard() {
    rm -f "$folder/samples/"*.srt
    local start end
    start=$(bench_now_ms)
    timeout 120 "$wine" "$@" >/dev/null 2>&1 </dev/null
    end=$(bench_now_ms)
    [ -f "$placed" ] || echo "the wizard placed nothing" >>"$failures"
    echo $((end - start))
  }
  program() {
    local start end
    start=$(bench_now_ms)
    timeout 120 "$wine" "$@" >/dev/null 2>&1 </dev/null
    end=$(bench_now_ms)
    echo $((end - start))
  }
  # The wizard's three requests: version check, best subtitle, its archive.
  three_requests() {
    local start end
    start=$(bench_now_ms)
    curl -s -o /dev/null "$url/get_version.php?lang=es&ver=100" \
      --next -s -o /dev/null -H "Content-Type: $form" \
      --data-binary "version=100&response=xml&cod_language=42&hash=$hash" \
      "$url/get_best_subtitle_by_hash.php" \
      --next -s -o "$folder/curl.zip" -H "Content-Type: $form" \
      --data-binary "version=100&response=single&cod_bsplayer=$id&post_date=$date" \
      "$url/get_subtitle_files.php"
    end=$(bench_now_ms)
    [ -s "$folder/curl.zip" ] || echo "curl got no archive" >>"$failures"
    echo $((end - start))
  }

  # measure SETTING LAUNCH...: RUNS runs of the wizard and of the baseline
  # in turns; LAUNCH goes before each program (the virtual desktop's).
  local -a wizard_ms baseline_ms window_ms
  measure() {
    local setting=$1 i w e c g
    shift
    wizard_ms=() baseline_ms=() window_ms=()
    # One untimed run of each first: the files they read come into the
    # page cache, the desktop finishes starting.
    wizard "$@" "$(wpath "$bin/Morvane.exe")" "$fingerprint" "$starred" 42 melhor >/dev/null
    program "$@" "$(wpath "$bin/empty_program.exe")" >/dev/null
    [ "$setting" = warm ] && program "$(wpath "$bin/window_program.exe")" >/dev/null
    three_requests >/dev/null
    for i in $(seq "$runs"); do
      g=
      [ "$setting" = cold ] && bench_wait_for_no_desktop
      if [ $((i % 2)) = 1 ]; then
        w=$(wizard "$@" "$(wpath "$bin/Morvane.exe")" "$fingerprint" "$starred" 42 melhor)
        [ "$setting" = cold ] && bench_wait_for_no_desktop
        e=$(program "$@" "$(wpath "$bin/empty_program.exe")")
        c=$(three_requests)
      else
        e=$(program "$@" "$(wpath "$bin/empty_program.exe")")
        c=$(three_requests)
        w=$(wizard "$@" "$(wpath "$bin/Morvane.exe")" "$fingerprint" "$starred" 42 melhor)
      fi
      wizard_ms+=("$w")
      baseline_ms+=($((e + c)))
      if [ "$setting" = warm ]; then
        g=$(program "$(wpath "$bin/window_program.exe")")
        window_ms+=($((g + c)))
      fi
      echo "$setting run $i: wizard $w ms; empty program $e ms + curl $c ms${g:+; one hidden window $((g - c)) ms}" >&2
    done
  }
  wpath() { local p="Z:${1//\//\\}"; echo "$p"; }
  # row WHAT TARGET BASELINE-TEXT [BASELINES...]: the table's row of the
  # setting just measured, against the baseline runs given (the empty
  # program's by default); without a target ("–") the row is for reading
  # the others.
  row() {
    local what=$1 target=$2 baseline_text=$3 wizard baseline ratio met=–
    shift 3
    [ $# -gt 0 ] || set -- "${baseline_ms[@]}"
    wizard=$(bench_median "${wizard_ms[@]}")
    baseline=$(bench_median "$@")
    ratio=$(awk -v w="$wizard" -v b="$baseline" 'BEGIN { printf "%.2f", w / b }')
    if [ "$target" != – ]; then
      met=$(awk -v r="$ratio" -v t="$whole_run_target" 'BEGIN { print (r <= t) ? "yes" : "no" }')
    fi
    if [ -s "$failures" ]; then
      met=no
      what="$what (SOME RUNS DID NOT DO THEIR WORK: see the log)"
      cat "$failures" >&2
      : >"$failures"
    fi
    printf '| %s | %s ms | %s ms (%s) | %s× | %s | %s |\n' \
      "$what" "$wizard" "$baseline" "$baseline_text" "$ratio" "$target" "$met"
  }
  local trivial="a program that starts and ends + the 3 requests by curl"

  # Wine's desktop already running, as on Windows: kept by a desktop
  # process of this prefix for the whole setting.
  "$wine" explorer.exe /desktop >/dev/null 2>&1 </dev/null &
  local _
  for _ in $(seq 100); do [ -n "$(bench_desktop_pids)" ] && break; sleep 0.1; done
  measure warm
  row "Whole run, best subtitle (x86_64 wizard under Wine, desktop running)" \
    "≤ ${whole_run_target}×" "$trivial"
  # What Wine charges any GUI program to start, taken out.
  row "The same runs against a GUI program that opens one hidden window" "≤ ${whole_run_target}×" \
    "that program + the 3 requests by curl" "${window_ms[@]}"

  # No desktop running: each program with a window makes Wine start one.
  WINEPREFIX=$prefix wineserver -k
  bench_wait_for_no_desktop
  WINEPREFIX=$prefix wineserver -p
  measure cold
  row "Whole run, no desktop running (Wine starts one for the wizard)" "–" "$trivial"

  # A virtual desktop with its own tray, made for each program.
  measure virtual explorer.exe /desktop=bench,1280x1024
  row "Whole run in a Wine virtual desktop with its own tray" "–" \
    "a program that starts and ends there + the 3 requests by curl"

  stop_subtitle_server >/dev/null 2>&1
  return 0
}
