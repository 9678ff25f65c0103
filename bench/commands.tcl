# Measures the cost of one call of every flat command of the package and of its
# object-style twin, each next to a no-op command with the same number of words,
# from byte-compiled loops; then times a script that walks every cursor
# position of a long series, zolv::read_csv of a file of 100000 rows (plain, and in
# another export's shape with the options for it) against ZOLV_setlist of the same
# bars, and zolv::series of the last 500 bars of a long series against the whole line.
#
# Usage: tclsh commands.tcl NOOP_LIBRARY ?-runs N? ?-iterations N? ?-out FILE?
#   The package is found through TCLLIBPATH. Each loop runs at most -iterations
#   calls (fewer for slow commands, so that a run stays short); the best of
#   -runs runs counts. -out writes the measurements as tab-separated lines.

package require Tcl 8.6
package require zolv

proc usage {} {
    puts stderr "usage: tclsh commands.tcl NOOP_LIBRARY ?-runs N? ?-iterations N? ?-out FILE?"
    exit 2
}

if {[llength $argv] < 1 || [llength $argv] % 2 != 1} usage
set options [dict create -runs 5 -iterations 200000 -out {}]
foreach {key value} [lrange $argv 1 end] {
    if {![dict exists $options $key]} usage
    dict set options $key $value
}
load [lindex $argv 0] Zolvnoop

# A value list of `bars` bars with a fixed seed: a random walk of closes around
# 100000, high and low enclosing open and close, volumes between 1e6 and 1e8.
proc random_values {bars seed} {
    expr {srand($seed)}
    set values {}
    set close 100000
    for {set b 0} {$b < $bars} {incr b} {
        set open $close
        set close [expr {$open + int(rand() * 301) - 150 + (100000 - $open) / 500}]
        set high [expr {max($open, $close) + int(rand() * 121)}]
        set low [expr {min($open, $close) - int(rand() * 121)}]
        lappend values $open $high $low $close [expr {1000000 + int(rand() * 99000001)}]
    }
    return $values
}

set kBars 1000
set values [random_values $kBars 42]
set bar [lrange $values end-4 end]

# One object, reached both ways: $p is its pointer text, obj its owning command.
set p [corvalix::ZOLV obj]
corvalix::ZOLV_setlist $p $values

# Puts the object back to the 1000 bars with the cursor on the newest one.
proc restore {} {
    global p values
    corvalix::ZOLV_clear $p
    corvalix::ZOLV_setlist $p $values
}

# Rows: name, the flat body (one or two commands; the second keeps the store's
# size constant), and the object body. The no-op bodies are the flat body with
# each command word replaced, so they have the same number of words.
set rows {
    pos_set         {{corvalix::ZOLV_pos_set $p 0}}           {{obj configure -pos 0}}
    pos_get         {{corvalix::ZOLV_pos_get $p}}             {{obj cget -pos}}
    setlist         {{corvalix::ZOLV_setlist $p $bar}}        {{obj setlist $bar}}
    clear           {{corvalix::ZOLV_clear $p}}               {{obj clear}}
    push_front      {{corvalix::ZOLV_push_front $p $bar} {corvalix::ZOLV_pop_back $p}}
                    {{obj push_front $bar} {obj pop_back}}
    push_back       {{corvalix::ZOLV_push_back $p $bar}}      {{obj push_back $bar}}
    pop_front       {{corvalix::ZOLV_pop_front $p} {corvalix::ZOLV_push_back $p $bar}}
                    {{obj pop_front} {obj push_back $bar}}
    pop_back        {{corvalix::ZOLV_pop_back $p} {corvalix::ZOLV_push_back $p $bar}}
                    {{obj pop_back} {obj push_back $bar}}
    size            {{corvalix::ZOLV_size $p}}                {{obj size}}
    at              {{corvalix::ZOLV_at $p 0}}                {{obj at 0}}
    value           {{corvalix::ZOLV_value $p c}}             {{obj value c}}
    stdev           {{corvalix::ZOLV_stdev $p c 20}}          {{obj stdev c 20}}
    ema             {{corvalix::ZOLV_ema $p c 20}}            {{obj ema c 20}}
    sma             {{corvalix::ZOLV_sma $p c 20}}            {{obj sma c 20}}
    conv_ema        {{corvalix::ZOLV_conv_ema $p c 12 26}}    {{obj conv_ema c 12 26}}
    conv_sma        {{corvalix::ZOLV_conv_sma $p c 12 26}}    {{obj conv_sma c 12 26}}
    bollingerband   {{corvalix::ZOLV_bollingerband $p c 20}}  {{obj bollingerband c 20}}
    cci             {{corvalix::ZOLV_cci $p 20}}              {{obj cci 20}}
    dmi             {{corvalix::ZOLV_dmi $p 14 14}}           {{obj dmi 14 14}}
    hlband          {{corvalix::ZOLV_hlband $p 20}}           {{obj hlband 20}}
    macd            {{corvalix::ZOLV_macd $p 12 26 9}}        {{obj macd 12 26 9}}
    mfi             {{corvalix::ZOLV_mfi $p 14}}              {{obj mfi 14}}
    momentum        {{corvalix::ZOLV_momentum $p c 14}}       {{obj momentum c 14}}
    psychological   {{corvalix::ZOLV_psychological $p c 14}}  {{obj psychological c 14}}
    rci             {{corvalix::ZOLV_rci $p c 9}}             {{obj rci c 9}}
    roc             {{corvalix::ZOLV_roc $p 14}}              {{obj roc 14}}
    rsi             {{corvalix::ZOLV_rsi $p 14}}              {{obj rsi 14}}
    stc_k           {{corvalix::ZOLV_stc_k $p 14}}            {{obj stc_k 14}}
    stc_d           {{corvalix::ZOLV_stc_d $p 14 3}}          {{obj stc_d 14 3}}
    stc_sd          {{corvalix::ZOLV_stc_sd $p 14 3 3}}       {{obj stc_sd 14 3 3}}
    tr              {{corvalix::ZOLV_tr $p}}                  {{obj tr}}
    ultimate_osi    {{corvalix::ZOLV_ultimate_osi $p 7}}      {{obj ultimate_osi 7}}
    williams_r      {{corvalix::ZOLV_williams_r $p 14}}       {{obj williams_r 14}}
    vr1             {{corvalix::ZOLV_vr1 $p 26}}              {{obj vr1 26}}
    vr2             {{corvalix::ZOLV_vr2 $p 26}}              {{obj vr2 26}}
    wvr             {{corvalix::ZOLV_wvr $p 26}}              {{obj wvr 26}}
}

# The rows that change the store's size or contents; restored after every run.
set kChanging {setlist clear push_front push_back pop_front pop_back}

# The no-op twin of a flat body: each command word replaced by `noop`.
proc noop_body {flat noop} {
    set commands {}
    foreach command $flat {
        # Plain text: the words behind the command stay as written ($p, $bar).
        regsub {^\S+} $command $noop command
        lappend commands $command
    }
    return $commands
}

# Defines a proc that runs `commands` n times in a byte-compiled loop.
set kLoopCount 0
proc make_loop {commands} {
    global kLoopCount
    set name ::loop[incr kLoopCount]
    proc $name {p bar n} [format {
        for {set i 0} {$i < $n} {incr i} {
            %s
        }
    } [join $commands "\n            "]]
    return $name
}

# Microseconds of one run of `loop` over n calls.
proc run_once {loop n} {
    global p bar
    return [lindex [time {$loop $p $bar $n} 1] 0]
}

set runs [dict get $options -runs]
set max_iterations [dict get $options -iterations]
set kRunBudget 250000.0 ;# microseconds: a slow command runs fewer iterations

# The loop overhead alone, for reference.
set empty [make_loop {}]
run_once $empty 1000
set best_empty Inf
for {set r 0} {$r < $runs} {incr r} {
    set best_empty [expr {min($best_empty, [run_once $empty $max_iterations])}]
}
set empty_ns [expr {$best_empty * 1000.0 / $max_iterations}]

set results {}
foreach {name flat object} $rows {
    # Each body must succeed before it is timed.
    foreach body [list $flat $object] {
        foreach command $body {
            if {[catch {uplevel #0 $command} message]} {
                puts stderr "$name: \"$command\" failed: $message"
                exit 1
            }
        }
        restore
    }
    set loops [dict create \
        noop [make_loop [noop_body $flat zolvnoop::noop]] \
        noop_int [make_loop [noop_body $flat zolvnoop::noop_int]] \
        flat [make_loop $flat] \
        object [make_loop $object]]

    # Warm up, and size the runs so that a slow command stays within budget.
    set warm [run_once [dict get $loops flat] 200]
    restore
    set n [expr {int(min($max_iterations, max(2000, $kRunBudget * 200 / max($warm, 1))))}]
    dict for {kind loop} $loops {
        run_once $loop 200
        if {$name in $kChanging} restore
    }

    # The kinds take turns, so that a change of machine load hits them alike.
    set best [dict create noop Inf noop_int Inf flat Inf object Inf]
    for {set r 0} {$r < $runs} {incr r} {
        dict for {kind loop} $loops {
            set us [run_once $loop $n]
            if {$name in $kChanging} restore
            dict set best $kind [expr {min([dict get $best $kind], $us)}]
        }
    }
    if {[corvalix::ZOLV_size $p] != $kBars || [corvalix::ZOLV_pos_get $p] != 0} {
        puts stderr "$name: the store was not kept at $kBars bars"
        exit 1
    }
    set ns {}
    dict for {kind us} $best {
        dict set ns $kind [expr {$us * 1000.0 / $n}]
    }
    lappend results $name [llength [lindex $flat 0]] [llength $flat] $n $ns
}

# A script that walks every cursor position of a 10000-bar series at which
# ema 20 exists, flat and object style.
set kWalkBars 10000
set walk_values [random_values $kWalkBars 7]
set q [corvalix::ZOLV walker]
corvalix::ZOLV_setlist $q $walk_values
proc walk_flat {q last} {
    for {set pos 0} {$pos <= $last} {incr pos} {
        corvalix::ZOLV_pos_set $q $pos
        corvalix::ZOLV_ema $q c 20
    }
}
proc walk_object {last} {
    for {set pos 0} {$pos <= $last} {incr pos} {
        walker configure -pos $pos
        walker ema c 20
    }
}
set last [expr {$kWalkBars - 20}]
set walk_flat_us [lindex [time {walk_flat $q $last} 1] 0]
set walk_object_us [lindex [time {walk_object $last} 1] 0]
# The same line in one call: every bar's ema 20 as a list.
zolv::series walker ema c 20
set walk_series_us [lindex [time {zolv::series walker ema c 20} 5] 0]
# The walk with ZOLV_value in place of ema: the cost of the loop and the cursor.
proc walk_value {q last} {
    for {set pos 0} {$pos <= $last} {incr pos} {
        corvalix::ZOLV_pos_set $q $pos
        corvalix::ZOLV_value $q c
    }
}
set walk_value_us [lindex [time {walk_value $q $last} 1] 0]
walker -delete

# A live feed: per new bar, at 1000 and at 1000000 bars of history, push_back
# with ema 20, macd 12 26 9 and rsi 14 at the newest bar; push_back with
# supertrend 10 3, ichimoku 9 26 52 and vwap 20 at the newest bar; push_back with
# rsi_wilder c 14, atr 14, adx 14, macd_ema c 12 26 9 and sar 0.02 0.2 at the
# newest bar; and push_back with pop_front, a window of fixed length.
# Microseconds per new bar, best of the runs.
set kFeedBars 2000
set feed_bars [random_values $kFeedBars 5]
proc feed_read {p bars} {
    foreach {o h l c v} $bars {
        corvalix::ZOLV_push_back $p [list $o $h $l $c $v]
        corvalix::ZOLV_ema $p c 20
        corvalix::ZOLV_macd $p 12 26 9
        corvalix::ZOLV_rsi $p 14
    }
}
proc feed_chart {p bars} {
    foreach {o h l c v} $bars {
        corvalix::ZOLV_push_back $p [list $o $h $l $c $v]
        zolv::indicator $p supertrend 10 3
        zolv::indicator $p ichimoku 9 26 52
        zolv::indicator $p vwap 20
    }
}
proc feed_trend {p bars} {
    foreach {o h l c v} $bars {
        corvalix::ZOLV_push_back $p [list $o $h $l $c $v]
        zolv::indicator $p rsi_wilder c 14
        zolv::indicator $p atr 14
        zolv::indicator $p adx 14
        zolv::indicator $p macd_ema c 12 26 9
        zolv::indicator $p sar 0.02 0.2
    }
}
proc feed_window {p bars} {
    foreach {o h l c v} $bars {
        corvalix::ZOLV_push_back $p [list $o $h $l $c $v]
        corvalix::ZOLV_pop_front $p
    }
}
set feed {}
foreach history {1000 1000000} {
    set history_values [random_values [expr {min($history, 100000)}] 3]
    foreach kind {read chart trend window} {
        set best Inf
        for {set r 0} {$r < $runs} {incr r} {
            set p [corvalix::new_ZOLV]
            # A million bars of history: the 100000 generated ones ten times over.
            for {set n 0} {$n < $history} {incr n 100000} {
                corvalix::ZOLV_setlist $p [lrange $history_values 0 \
                    [expr {5 * min(100000, $history - $n) - 1}]]
            }
            corvalix::ZOLV_ema $p c 20  ;# the averages have been walked once already
            corvalix::ZOLV_macd $p 12 26 9
            zolv::indicator $p supertrend 10 3  ;# its states too
            foreach words {{rsi_wilder c 14} {atr 14} {adx 14} {macd_ema c 12 26 9}
                    {sar 0.02 0.2}} {
                zolv::indicator $p {*}$words
            }
            set us [lindex [time [list feed_$kind $p $feed_bars] 1] 0]
            set best [expr {min($best, double($us) / $kFeedBars)}]
            corvalix::delete_ZOLV $p
            rename $p {}
        }
        dict set feed $kind $history $best
    }
}

# zolv::read_csv of a 100000-row file against ZOLV_setlist of the same bars from a list already
# built. The file has a date column and prices with two decimals, read with -scale 100.
set kCsvBars 100000
set csv_values [random_values $kCsvBars 11]
set csv_channel [file tempfile csv_path zolv-bench.csv]
puts $csv_channel date,open,high,low,close,volume
set day [clock scan 2001-01-01 -format %Y-%m-%d -gmt 1]
foreach {o h l c v} $csv_values {
    set prices [lmap x [list $o $h $l $c] {format %d.%02d [expr {$x / 100}] [expr {$x % 100}]}]
    puts $csv_channel [join [list [clock format $day -format %Y-%m-%d -gmt 1] {*}$prices $v] ,]
    incr day 86400
}
close $csv_channel
set csv_bytes [file size $csv_path]
set csv_object [corvalix::new_ZOLV]
corvalix::ZOLV_setlist $csv_object $csv_values ;# the list's elements become integers once
set csv_read_us Inf
set csv_setlist_us Inf
for {set r 0} {$r < 3 * $runs} {incr r} {
    corvalix::ZOLV_clear $csv_object
    set us [lindex [time {zolv::read_csv $csv_object $csv_path -scale 100}] 0]
    set csv_read_us [expr {min($csv_read_us, $us)}]
    corvalix::ZOLV_clear $csv_object
    set us [lindex [time {corvalix::ZOLV_setlist $csv_object $csv_values}] 0]
    set csv_setlist_us [expr {min($csv_setlist_us, $us)}]
}
corvalix::ZOLV_clear $csv_object
zolv::read_csv $csv_object $csv_path -scale 100
for {set k 0} {$k < $kCsvBars} {incr k 997} {
    set want [lrange $csv_values [expr {5 * $k}] [expr {5 * $k + 4}]]
    if {[corvalix::ZOLV_at $csv_object $k] ne $want} {
        puts stderr "read_csv: bar $k differs from the list"
        exit 1
    }
}

# The same bars in the shape of other exports, read with the options for it: a title line before
# the header, ";" between fields, volumes in thousands rounded half away from zero, and rows
# that are no numbers skipped (none here). Against ZOLV_setlist of the bars it gives.
set csv_channel [file tempfile csv_options_path zolv-bench-options.csv]
puts $csv_channel "Prices exported by a tool, with \"quotes\""
puts $csv_channel Date\;Open\;High\;Low\;Close\;Volume
set day [clock scan 2001-01-01 -format %Y-%m-%d -gmt 1]
set csv_options_values {}
foreach {o h l c v} $csv_values {
    set prices [lmap x [list $o $h $l $c] {format %d.%02d [expr {$x / 100}] [expr {$x % 100}]}]
    puts $csv_channel [join [list [clock format $day -format %Y-%m-%d -gmt 1] {*}$prices $v] \;]
    lappend csv_options_values $o $h $l $c [expr {($v + 500) / 1000}]
    incr day 86400
}
close $csv_channel
set kCsvOptions {-scale 100 -separator ; -skip 1 -round -volumescale 0.001 -skipinvalid skipped}
corvalix::ZOLV_clear $csv_object
corvalix::ZOLV_setlist $csv_object $csv_options_values
set csv_options_read_us Inf
set csv_options_setlist_us Inf
for {set r 0} {$r < 3 * $runs} {incr r} {
    corvalix::ZOLV_clear $csv_object
    set us [lindex [time {zolv::read_csv $csv_object $csv_options_path {*}$kCsvOptions}] 0]
    set csv_options_read_us [expr {min($csv_options_read_us, $us)}]
    corvalix::ZOLV_clear $csv_object
    set us [lindex [time {corvalix::ZOLV_setlist $csv_object $csv_options_values}] 0]
    set csv_options_setlist_us [expr {min($csv_options_setlist_us, $us)}]
}
corvalix::ZOLV_clear $csv_object
zolv::read_csv $csv_object $csv_options_path {*}$kCsvOptions
for {set k 0} {$k < $kCsvBars} {incr k 997} {
    set want [lrange $csv_options_values [expr {5 * $k}] [expr {5 * $k + 4}]]
    if {[corvalix::ZOLV_at $csv_object $k] ne $want || $skipped ne {}} {
        puts stderr "read_csv with options: bar $k differs from the list"
        exit 1
    }
}
corvalix::delete_ZOLV $csv_object
file delete $csv_path $csv_options_path

# zolv::series -last 500 of ema c 20 over 1000000 bars against the whole line: the remembered
# averages make a range cost its bars, not the history (the first call walks the history).
set kRangeBars 1000000
set range_object [corvalix::new_ZOLV]
set range_values [random_values 100000 13]
for {set n 0} {$n < $kRangeBars} {incr n 100000} {
    corvalix::ZOLV_setlist $range_object $range_values
}
zolv::series -last 500 $range_object ema c 20
set series_whole_us Inf
set series_last_us Inf
for {set r 0} {$r < $runs} {incr r} {
    set us [lindex [time {zolv::series $range_object ema c 20}] 0]
    set series_whole_us [expr {min($series_whole_us, $us)}]
    set us [lindex [time {zolv::series -last 500 $range_object ema c 20} 20] 0]
    set series_last_us [expr {min($series_last_us, $us)}]
}
if {[zolv::series -last 500 $range_object ema c 20] ne
        [lrange [zolv::series $range_object ema c 20] end-499 end]} {
    puts stderr "zolv::series -last 500 differs from the end of the whole line"
    exit 1
}
corvalix::delete_ZOLV $range_object

# The table.
proc ratio {a b} {
    if {$b <= 0} {return -}
    return [format %.2f [expr {double($a) / $b}]]
}
puts [format "Tcl %s, %d bars, best of %d runs; empty loop %.1f ns per iteration" \
    [info patchlevel] $kBars $runs $empty_ns]
puts "Per call in ns; noop and noop_int have the flat command's number of words;"
puts "rows marked + time two commands (the second keeps the store at $kBars bars)."
set header [format "%-16s %5s %8s %8s %9s %9s %12s %9s %12s" command words noop noop_int \
    flat flat/noop flat/noop_int object object/flat]
puts $header
puts [string repeat - [string length $header]]
foreach {name words commands n ns} $results {
    dict with ns {
        puts [format "%-16s %5d %8.1f %8.1f %9.1f %9s %12s %9.1f %12s" \
            [expr {$commands > 1 ? "$name+" : $name}] $words $noop $noop_int $flat \
            [ratio $flat $noop] [ratio $flat $noop_int] $object [ratio $object $flat]]
    }
}
puts ""
puts [format "Cursor walk, ema 20 at each of %d positions of %d bars: flat %.1f ms,\
    object %.1f ms (%.2f us per position flat)" [expr {$last + 1}] $kWalkBars \
    [expr {$walk_flat_us / 1000.0}] [expr {$walk_object_us / 1000.0}] \
    [expr {double($walk_flat_us) / ($last + 1)}]]
puts [format "zolv::series ema 20 over the same %d bars: %.3f ms, %.0f times faster than the\
    flat walk" $kWalkBars [expr {$walk_series_us / 1000.0}] \
    [expr {double($walk_flat_us) / $walk_series_us}]]

puts [format "Cursor walk with ZOLV_value in place of ema: %.1f ms; the ema walk costs %.2f\
    times it" [expr {$walk_value_us / 1000.0}] [expr {double($walk_flat_us) / $walk_value_us}]]
foreach kind {read chart trend window} label {"push_back, ema, macd, rsi"
        "push_back, supertrend, ichimoku, vwap"
        "push_back, rsi_wilder, atr, adx, macd_ema, sar" "push_back, pop_front"} {
    puts [format "Per new bar, %s: %.2f us at 1000 bars, %.2f us at 1000000 (%.2f times)" \
        $label [dict get $feed $kind 1000] [dict get $feed $kind 1000000] \
        [expr {[dict get $feed $kind 1000000] / [dict get $feed $kind 1000]}]]
}
puts [format "zolv::read_csv of %d rows (%.1f MB): %.2f ms; ZOLV_setlist of the same bars from\
    a list: %.2f ms (%.2f times)" $kCsvBars [expr {$csv_bytes / 1e6}] \
    [expr {$csv_read_us / 1000.0}] [expr {$csv_setlist_us / 1000.0}] \
    [expr {double($csv_read_us) / $csv_setlist_us}]]
puts [format "zolv::read_csv of the same rows with %s: %.2f ms; ZOLV_setlist of its bars:\
    %.2f ms (%.2f times)" $kCsvOptions [expr {$csv_options_read_us / 1000.0}] \
    [expr {$csv_options_setlist_us / 1000.0}] \
    [expr {double($csv_options_read_us) / $csv_options_setlist_us}]]
puts [format "zolv::series -last 500 of ema c 20 over %d bars: %.3f ms; the whole line %.2f ms\
    (%.4f of it)" $kRangeBars [expr {$series_last_us / 1000.0}] \
    [expr {$series_whole_us / 1000.0}] [expr {double($series_last_us) / $series_whole_us}]]

set out [dict get $options -out]
if {$out ne {}} {
    set f [open $out w]
    puts $f [join {row command words commands iterations noop noop_int flat object} \t]
    foreach {name words commands n ns} $results {
        dict with ns {
            puts $f [join [list row $name $words $commands $n $noop $noop_int $flat $object] \t]
        }
    }
    puts $f [join [list empty_loop $empty_ns] \t]
    puts $f [join [list walk_flat_ms [expr {$walk_flat_us / 1000.0}] $kWalkBars] \t]
    puts $f [join [list walk_object_ms [expr {$walk_object_us / 1000.0}] $kWalkBars] \t]
    puts $f [join [list walk_series_ms [expr {$walk_series_us / 1000.0}] $kWalkBars] \t]
    puts $f [join [list walk_value_ms [expr {$walk_value_us / 1000.0}] $kWalkBars] \t]
    foreach kind {read chart trend window} {
        foreach history {1000 1000000} {
            puts $f [join [list feed_${kind}_${history}_us [dict get $feed $kind $history]] \t]
        }
    }
    puts $f [join [list csv_read_ms [expr {$csv_read_us / 1000.0}] $kCsvBars] \t]
    puts $f [join [list csv_setlist_ms [expr {$csv_setlist_us / 1000.0}] $kCsvBars] \t]
    puts $f [join [list csv_options_read_ms [expr {$csv_options_read_us / 1000.0}] $kCsvBars] \t]
    puts $f [join [list csv_options_setlist_ms [expr {$csv_options_setlist_us / 1000.0}] \
        $kCsvBars] \t]
    puts $f [join [list series_last_ms [expr {$series_last_us / 1000.0}] $kRangeBars] \t]
    puts $f [join [list series_whole_ms [expr {$series_whole_us / 1000.0}] $kRangeBars] \t]
    close $f
}
obj -delete
