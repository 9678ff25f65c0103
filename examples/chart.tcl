#!/usr/bin/env tclsh
# A chart of bars drawn with Tk from the zolv package's answers: candlesticks
# (or Heikin-Ashi candles) with volume, price overlays (SMA, EMA, Bollinger
# band, high/low band, SuperTrend, Keltner and Donchian channels, the
# Ichimoku cloud, VWAP), one oscillator pane (RSI, MACD, stochastics, DMI,
# CCI, Williams %R), and a crosshair that moves the object's cursor and lists
# every indicator at the bar under it. Every other operation of
# zolv::operations is offered too, in the "More" submenus of the Overlays and
# Oscillator menus, with usual arguments.
#
#   usage: tclsh chart.tcl ?-file CSV? ?-scale N? ?-overlays LIST?
#              ?-oscillator NAME? ?-candles KIND? ?-screenshot PNG? ?-selftest?
#              ?-round? ?-volumescale N? ?-columns LIST? ?-separator C?
#              ?-skip N? ?-skipinvalid? ?-reverse?
#
# The file is read with zolv::read_csv, as for report.tcl: prices are
# multiplied by -scale N as they are read (a power of ten, default 10000) and
# the first column that is not a price or the volume names the bars (dates,
# or dates and times of intraday bars); the reader's other options are passed
# on as they are, for this file and those File > Open reads.
# Names that are ISO dates and times (2024-01-02, 2024-01-02 09:30) or epoch
# seconds or milliseconds label the time axis with a few dates and times
# (epoch times in UTC); other names are shown as they are, spaced out.
# Each drawn line is one zolv::series call, made once per file when the line
# is first shown; drawing and the crosshair read values from those lines.
# -overlays takes a list of sma, ema, bollinger, hlband, supertrend, keltner,
# donchian, ichimoku and vwap; -oscillator one of rsi, macd, stochastics, dmi,
# cci and williams; -candles ohlc (the default) or heikin_ashi.
# Keys: Left/Right scroll one bar (with Shift a page), Home/End jump to the
# oldest/newest bars, +/- zoom in and out, Ctrl+O opens a file. -screenshot
# saves a PNG of the window and exits; -selftest draws every overlay,
# oscillator and operation and both kinds of candles, checks the canvas,
# prints "chart ok" and exits (status 1 on a failed check). The package is
# found through TCLLIBPATH, as for report.tcl.

source [file join [file dirname [file normalize [info script]]] bars.tcl]
source [file join [file dirname [file normalize [info script]]] time_axis.tcl]

namespace eval ::chart {
    variable usage "usage: chart.tcl ?-file CSV? ?-scale N? ?-overlays LIST?\
        ?-oscillator NAME? ?-candles KIND? ?-screenshot PNG? ?-selftest?\
        $::bars::reader_usage"

    # The bars: the file, their dates, count, and what a stored price is
    # divided by for display; -scale as given ("" for its default).
    variable path ""
    variable dates {}
    variable count 0
    variable scale 10000
    variable scale_option ""
    # The reader's other options from the command line, as bars::load takes them.
    variable reader {}

    # The object that holds the bars; every drawn value comes from it.
    variable object ""

    # Whole indicator lines by command words, as zolv::series answers them:
    # one element per bar, oldest first, empty where the indicator fails.
    # The words {lagging K} stand for the close shifted K bars back (the
    # lagging span of the Ichimoku chart, which is nothing to compute).
    variable lines
    array set lines {}
    # The names of the parts of each operation's result, from zolv::operations
    # (empty for one value).
    variable parts
    array set parts {}

    # The kind of timestamp the dates are (see time_axis::kind; "" for other
    # text), and the seconds of the bars read so far, by bar index.
    variable time_kind ""
    variable times
    array set times {}

    # The view: newest visible bar index and the number of bars shown (at
    # most max_span, so that a redraw stays quick on long files).
    variable last 0
    variable span 120
    variable max_span 2000

    # The bar under the crosshair (-1: none) and the pointer's last y.
    variable cursor -1
    variable pointer_y -1

    # Overlay switches, the chosen oscillator and the kind of candles (the
    # widgets' variables).
    variable show
    array set show {sma 1 ema 0 bollinger 1 hlband 0 supertrend 0 keltner 0 donchian 0
        ichimoku 0 vwap 0}
    variable oscillator rsi
    variable candles ohlc

    # The price overlays: a label, a shorter one for the tool bar, the
    # operation drawn, how (lines; trend: one line coloured by the direction
    # in component 1; cloud: lines and the area between components 2 and 3
    # filled), names of its lines for the legend ({name colour}, where the
    # label alone does not tell them apart) and series of {words component
    # colour dash}. Every other
    # operation of the table that draws over the price is added by
    # add_operations (its key op:NAME, its entry marked more).
    variable overlays {
        sma {label "SMA 20" short "SMA 20" op sma draw lines series {
            {{sma c 20} 0 #1f4fd1 {}}}}
        ema {label "EMA 20" short "EMA 20" op ema draw lines series {
            {{ema c 20} 0 #e07b00 {}}}}
        bollinger {label "Bollinger 20 (1 and 2 sd)" short Bollinger op bollingerband
            draw lines series {
            {{bollingerband c 20} 0 #8e44ad {4 3}}
            {{bollingerband c 20} 1 #8e44ad {4 3}}
            {{bollingerband c 20} 2 #8e44ad {}}
            {{bollingerband c 20} 3 #8e44ad {}}}}
        hlband {label "High/low band 20" short "High/low" op hlband draw lines series {
            {{hlband 20} 0 #16a085 {}}
            {{hlband 20} 1 #16a085 {}}
            {{hlband 20} 2 #16a085 {2 3}}}}
        supertrend {label "SuperTrend 10 3" short SuperTrend op supertrend draw trend series {
            {{supertrend 10 3} 0 #2e7d32 {}}}}
        keltner {label "Keltner 20 2 10" short Keltner op keltner draw lines series {
            {{keltner 20 2 10} 0 #b8860b {}}
            {{keltner 20 2 10} 1 #b8860b {4 3}}
            {{keltner 20 2 10} 2 #b8860b {}}}}
        donchian {label "Donchian 20" short Donchian op donchian draw lines series {
            {{donchian 20} 0 #6d4c41 {}}
            {{donchian 20} 1 #6d4c41 {}}
            {{donchian 20} 2 #6d4c41 {2 3}}}}
        ichimoku {label "Ichimoku 9 26 52:" short Ichimoku op ichimoku draw cloud
            legend {{tenkan #1f4fd1} {kijun #8b1a1a} {"span A" #2e7d32} {"span B" #c62828}
                {"lagging (the close 26 bars back)" #7f7f7f}} series {
            {{ichimoku 9 26 52} 0 #1f4fd1 {}}
            {{ichimoku 9 26 52} 1 #8b1a1a {}}
            {{ichimoku 9 26 52} 2 #2e7d32 {}}
            {{ichimoku 9 26 52} 3 #c62828 {}}
            {{lagging 26} 0 #7f7f7f {2 2}}}}
        vwap {label "VWAP 20" short VWAP op vwap draw lines series {
            {{vwap 20} 0 #ad1457 {}}}}
    }

    # The oscillators: a label, a fixed range ({} to fit the values), guide
    # levels, whether the axis runs downward, the unit ($ for price-like
    # values, shown in dollars), the operations drawn and series of {words
    # component colour name}. add_operations adds every other operation of
    # the table that does not draw over the price (its key op:NAME, its entry
    # marked more).
    variable oscillators {
        rsi {label "RSI 14" range {0 100} guides {30 70} invert 0 unit % op rsi series {
            {{rsi 14} 0 #c0392b RSI}}}
        macd {label "MACD 12 26 9" range {} guides {0} invert 0 unit $ op macd series {
            {{macd 12 26 9} 0 #1f4fd1 MACD}
            {{macd 12 26 9} 1 #e07b00 signal}}}
        stochastics {label "Stochastics" range {0 100} guides {20 80} invert 0 unit %
            op {stc_k stc_d} series {
            {{stc_k 14} 0 #1f4fd1 "%K 14"}
            {{stc_d 14 3} 0 #e07b00 "%D 14 3"}}}
        dmi {label "DMI 14 14" range {0 100} guides {} invert 0 unit % op dmi series {
            {{dmi 14 14} 0 #2e7d32 +DI}
            {{dmi 14 14} 1 #c0392b -DI}
            {{dmi 14 14} 3 #333333 ADX}}}
        cci {label "CCI 20" range {} guides {-100 0 100} invert 0 unit {} op cci series {
            {{cci 20} 0 #8e44ad CCI}}}
        williams {label "Williams %R 14 (0 = at the high, top)" range {0 100}
            guides {20 80} invert 1 unit % op williams_r series {
            {{williams_r 14} 0 #16a085 "%R"}}}
    }

    # The operation drawn otherwise than by add_operations: heikin_ashi as the
    # candles.
    variable drawn_otherwise {heikin_ashi}
    variable palette {#1f4fd1 #e07b00 #2e7d32 #c0392b #8e44ad #16a085 #6d4c41}

    # Groups of indicator commands, one line each in the status area.
    variable status_groups {
        {sma ema stdev conv_sma conv_ema}
        {bollingerband}
        {hlband macd tr}
        {momentum roc psychological rsi rci cci}
        {dmi stc_k stc_d}
        {stc_sd williams_r ultimate_osi vr1 vr2 wvr mfi}
    }

    variable up_colour #2e7d32
    variable down_colour #c62828
}

# Reads the command line into a dict: file, scale, reader (the reader's other
# options), screenshot, selftest.
proc ::chart::parse_command_line {arguments} {
    variable usage
    set options [dict create file [bars::default_file] scale "" reader {} \
        screenshot "" selftest 0 help 0 oscillator "" overlays "" candles ""]
    set reader {}
    while {[llength $arguments] > 0} {
        set arguments [lassign $arguments word]
        if {[bars::is_reader_option $word]} {
            set arguments [bars::reader_option $word $arguments reader $usage]
            dict set options reader $reader
            continue
        }
        switch -exact -- $word {
            -file - -screenshot - -scale - -oscillator - -overlays - -candles {
                if {[llength $arguments] == 0} {
                    bars::fail "$word needs a value; $usage"
                }
                set arguments [lassign $arguments value]
                if {$word eq "-scale"} {
                    set value [bars::scale_option $value]
                }
                if {$word eq "-oscillator" && ![dict exists $::chart::oscillators $value]} {
                    bars::fail "unknown oscillator \"$value\"; choose one of\
                        [join [dict keys $::chart::oscillators] {, }]"
                }
                if {$word eq "-candles" && $value ni {ohlc heikin_ashi}} {
                    bars::fail "unknown candles \"$value\"; choose ohlc or heikin_ashi"
                }
                if {$word eq "-overlays"} {
                    if {![string is list $value]} {
                        bars::fail "-overlays needs a list of overlay names; $usage"
                    }
                    foreach name $value {
                        if {![dict exists $::chart::overlays $name]} {
                            bars::fail "unknown overlay \"$name\"; choose from\
                                [join [dict keys $::chart::overlays] {, }]"
                        }
                    }
                }
                dict set options [string range $word 1 end] $value
            }
            -selftest {
                dict set options selftest 1
            }
            -help - -h - --help {
                dict set options help 1
            }
            default {
                bars::fail "unknown argument \"$word\"; $usage"
            }
        }
    }
    return $options
}

# True when a value is a finite number that can be drawn.
proc ::chart::drawable {value} {
    return [expr {[string is double -strict $value]
        && ![regexp -nocase {nan|inf} $value]}]
}

# The whole line of an indicator (its command words), computed with
# zolv::series the first time it is asked for after a file is read. The
# words {lagging K} give the closes moved K bars back: nothing is computed.
proc ::chart::line {words} {
    variable lines
    variable object
    if {![info exists lines($words)]} {
        if {[lindex $words 0] eq "lagging"} {
            set shift [lindex $words 1]
            set closes [zolv::series $object sma c 1]
            set lines($words) [list {*}[lrange $closes $shift end] \
                {*}[lrepeat [expr {min($shift, [llength $closes])}] {}]]
        } else {
            set lines($words) [zolv::series $object {*}$words]
        }
    }
    return $lines($words)
}

# The names of the parts of an operation's result, as zolv::operations
# answers them (empty for one value, and for a name it does not know).
proc ::chart::parts_of {name} {
    variable parts
    if {![info exists parts($name)]} {
        set parts($name) {}
        if {![catch {zolv::operations $name} description]} {
            set parts($name) [dict get $description results]
        }
    }
    return $parts($name)
}

# One value of an indicator at a bar index (0 = oldest), read from its line:
# the component of a list result, the value itself else; "-" where the
# indicator cannot be computed.
proc ::chart::value {words component index} {
    if {[llength [parts_of [lindex $words 0]]] > 0} {
        set value [lindex [line $words] $index $component]
    } else {
        set value [lindex [line $words] $index]
    }
    if {$value eq ""} {
        return -
    }
    return $value
}

# Adds every operation of zolv::operations that no entry draws yet, with its
# usual arguments and each part of its result as a line: over the prices
# when it answers prices, in the oscillator pane otherwise.
proc ::chart::add_operations {} {
    variable overlays
    variable oscillators
    variable show
    variable drawn_otherwise
    variable palette
    set drawn $drawn_otherwise
    dict for {key entry} [dict merge $overlays $oscillators] {
        lappend drawn {*}[dict get $entry op]
    }
    set colour 0
    foreach name [dict keys [zolv::operations]] {
        if {$name in $drawn} continue
        set words [list $name {*}[bars::usual_words $name]]
        set names [parts_of $name]
        set series {}
        for {set k 0} {$k < max(1, [llength $names])} {incr k} {
            set paint [lindex $palette [expr {($colour + $k) % [llength $palette]}]]
            if {$name in $::bars::price_operations} {
                lappend series [list $words $k $paint {}]
            } else {
                lappend series [list $words $k $paint [expr {$names eq {} ? $name
                    : [lindex $names $k]}]]
            }
        }
        incr colour
        if {$name in $::bars::price_operations} {
            dict set overlays op:$name [dict create label [join $words] short $name \
                op $name draw lines more 1 series $series]
            set show(op:$name) 0
        } else {
            set unit [expr {$name in $::bars::price_difference_operations ? "\$" : ""}]
            dict set oscillators op:$name [dict create label [join $words] range {} \
                guides {} invert 0 unit $unit op $name more 1 series $series]
        }
    }
}

# The bar at an index as the object stores it: open high low close volume.
proc ::chart::bar {index} {
    variable object
    return [$object at $index]
}

# The first visible bar index.
proc ::chart::first {} {
    variable last
    variable span
    return [expr {max(0, $last - $span + 1)}]
}

# The canvas geometry: plot edges and the top and bottom of each pane.
proc ::chart::layout {} {
    set width [winfo width .c]
    set height [winfo height .c]
    if {$width < 100 || $height < 100} {
        set width [.c cget -width]
        set height [.c cget -height]
    }
    # Below the panes: two lines of time labels.
    set usable [expr {$height - 22 - 34 - 16 - 16}]
    set oscillator_height [expr {int($usable * 0.26)}]
    set volume_height [expr {int($usable * 0.13)}]
    set price_height [expr {$usable - $oscillator_height - $volume_height}]
    set price_top 22
    set price_bottom [expr {$price_top + $price_height}]
    set volume_top [expr {$price_bottom + 8}]
    set volume_bottom [expr {$volume_top + $volume_height}]
    set oscillator_top [expr {$volume_bottom + 8 + 16}]
    set oscillator_bottom [expr {$oscillator_top + $oscillator_height}]
    return [dict create x0 8 x1 [expr {$width - 74}] width $width height $height \
        price [list $price_top $price_bottom] \
        volume [list $volume_top $volume_bottom] \
        oscillator [list $oscillator_top $oscillator_bottom] \
        axis [expr {$oscillator_bottom + 4}]]
}

# The x coordinate of the centre of a bar index, and the slot width.
proc ::chart::bar_x {geometry index} {
    variable span
    set slot [expr {double([dict get $geometry x1] - [dict get $geometry x0]) / $span}]
    return [expr {[dict get $geometry x0] + ($index - [first] + 0.5) * $slot}]
}

# The bar index under an x coordinate, limited to the visible bars.
proc ::chart::index_at {geometry x} {
    variable span
    variable last
    set slot [expr {double([dict get $geometry x1] - [dict get $geometry x0]) / $span}]
    set index [expr {[first] + int(floor(($x - [dict get $geometry x0]) / $slot))}]
    return [expr {min($last, max([first], $index))}]
}

# Maps a value into a pane given as {top bottom} and a range {low high}.
proc ::chart::y_of {value pane range {invert 0}} {
    lassign $pane top bottom
    lassign $range low high
    set share [expr {($value - $low) / double($high - $low)}]
    if {$invert} {
        return [expr {$top + $share * ($bottom - $top)}]
    }
    return [expr {$bottom - $share * ($bottom - $top)}]
}

# Round tick values between low and high, about count of them.
proc ::chart::ticks {low high count} {
    set extent [expr {double($high - $low)}]
    if {$extent <= 0} {
        return [list $low]
    }
    set raw [expr {$extent / $count}]
    set magnitude [expr {10 ** floor(log10($raw))}]
    foreach multiple {1 2 2.5 5 10} {
        set step [expr {$multiple * $magnitude}]
        if {$step >= $raw} {
            break
        }
    }
    set result {}
    for {set tick [expr {ceil($low / $step) * $step}]} {$tick <= $high} \
            {set tick [expr {$tick + $step}]} {
        lappend result [expr {round($tick / $step) * $step}]
    }
    return $result
}

# Text of a tick value: as many decimals as the step between ticks needs.
proc ::chart::tick_text {value ticks} {
    if {[llength $ticks] < 2} {
        return [format %.2f $value]
    }
    set step [expr {abs([lindex $ticks 1] - [lindex $ticks 0])}]
    set decimals [expr {max(0, int(ceil(-log10($step) - 1e-9)))}]
    if {$step * 10 ** $decimals != round($step * 10 ** $decimals)} {
        incr decimals
    }
    return [format %.*f $decimals $value]
}

# Widens a range {low high} to take a value.
proc ::chart::extend {range value} {
    lassign $range low high
    if {$low eq ""} {
        return [list $value $value]
    }
    return [list [expr {min($low, $value)}] [expr {max($high, $value)}]]
}

# Draws a series of values as lines, broken where a value is missing.
proc ::chart::draw_series {geometry pane range invert words component colour dash tags} {
    variable last
    set points {}
    set segments {}
    for {set index [first]} {$index <= $last} {incr index} {
        set value [value $words $component $index]
        if {[drawable $value]} {
            lappend points [bar_x $geometry $index] [y_of $value $pane $range $invert]
        } else {
            lappend segments $points
            set points {}
        }
    }
    lappend segments $points
    foreach points $segments {
        if {[llength $points] >= 4} {
            .c create line $points -fill $colour -dash $dash -width 1.5 -tags $tags
        } elseif {[llength $points] == 2} {
            lassign $points x y
            .c create line $x $y [expr {$x + 1}] $y -fill $colour -width 1.5 -tags $tags
        }
    }
}

# The open, high, low and close drawn for a bar: the bar's own, or its
# Heikin-Ashi candle.
proc ::chart::candle {index} {
    variable candles
    if {$candles eq "heikin_ashi"} {
        return [lindex [line heikin_ashi] $index]
    }
    return [lrange [bar $index] 0 3]
}

# Draws a line whose colour follows a direction, component 1 of the same
# words (1 up, -1 down), broken where the direction turns.
proc ::chart::draw_trend {geometry pane range words component tags} {
    variable last
    variable up_colour
    variable down_colour
    set runs {}
    set points {}
    set direction -
    for {set index [first]} {$index <= $last} {incr index} {
        set value [value $words $component $index]
        set now [expr {[drawable $value] ? [value $words 1 $index] : "-"}]
        if {$now ne $direction} {
            lappend runs $direction $points
            set points {}
            set direction $now
        }
        if {$now ne "-"} {
            lappend points [bar_x $geometry $index] [y_of $value $pane $range]
        }
    }
    lappend runs $direction $points
    foreach {direction points} $runs {
        if {$direction eq "-" || [llength $points] < 2} continue
        if {[llength $points] == 2} {
            lassign $points x y
            lappend points [expr {$x + 1}] $y
        }
        set colour [expr {$direction > 0 ? $up_colour : $down_colour}]
        .c create line $points -fill $colour -width 2 -tags $tags
    }
}

# Fills the area between two components of the same words: light green
# where the first is above the second, light red where below, the pieces
# split where the lines cross.
proc ::chart::draw_cloud {geometry pane range words upper_component lower_component tags} {
    variable last
    set upper {}
    set lower {}
    set sign 0
    set before {}
    for {set index [first]} {$index <= $last} {incr index} {
        set a [value $words $upper_component $index]
        set b [value $words $lower_component $index]
        if {![drawable $a] || ![drawable $b]} {
            cloud_piece $upper $lower $sign $tags
            lassign {{} {} 0 {}} upper lower sign before
            continue
        }
        set x [bar_x $geometry $index]
        set ya [y_of $a $pane $range]
        set yb [y_of $b $pane $range]
        set now [expr {$a > $b ? 1 : $a < $b ? -1 : 0}]
        if {$now != 0 && $sign != 0 && $now != $sign} {
            # The lines cross between the bar before and this one: the piece
            # ends where they meet, and the next starts there.
            lassign $before bx ba bb
            set share [expr {($ba - $bb) / double(($ba - $bb) - ($ya - $yb))}]
            set meet [list [expr {$bx + $share * ($x - $bx)}] \
                [expr {$ba + $share * ($ya - $ba)}]]
            cloud_piece [concat $upper $meet] [concat $lower $meet] $sign $tags
            set upper $meet
            set lower $meet
        }
        if {$now != 0} {
            set sign $now
        }
        lappend upper $x $ya
        lappend lower $x $yb
        set before [list $x $ya $yb]
    }
    cloud_piece $upper $lower $sign $tags
}

# One filled piece of a cloud between two lines of points, left to right.
proc ::chart::cloud_piece {upper lower sign tags} {
    if {[llength $upper] < 4} {
        return
    }
    set points $upper
    for {set k [expr {[llength $lower] - 2}]} {$k >= 0} {incr k -2} {
        lappend points [lindex $lower $k] [lindex $lower [expr {$k + 1}]]
    }
    set colour [expr {$sign >= 0 ? "#d3ebd0" : "#f5d3d3"}]
    .c create polygon $points -fill $colour -outline {} -tags $tags
}

# Draws the candlesticks, the active overlays and the price axis.
proc ::chart::draw_prices {geometry} {
    variable overlays
    variable show
    variable last
    variable scale
    variable span
    variable up_colour
    variable down_colour
    set pane [dict get $geometry price]
    # The range covers the candles and every drawable overlay value.
    set range {{} {}}
    for {set index [first]} {$index <= $last} {incr index} {
        lassign [candle $index] open high low close
        set range [extend [extend $range $high] $low]
        dict for {name overlay} $overlays {
            if {!$show($name)} continue
            foreach series [dict get $overlay series] {
                lassign $series words component
                set value [value $words $component $index]
                if {[drawable $value]} {
                    set range [extend $range $value]
                }
            }
        }
    }
    lassign $range low high
    set pad [expr {max(1.0, ($high - $low) * 0.04)}]
    set range [list [expr {$low - $pad}] [expr {$high + $pad}]]

    # Grid and axis labels in dollars.
    set ticks [ticks [expr {[lindex $range 0] / double($scale)}] \
        [expr {[lindex $range 1] / double($scale)}] 6]
    foreach tick $ticks {
        set y [y_of [expr {$tick * $scale}] $pane $range]
        .c create line [dict get $geometry x0] $y [dict get $geometry x1] $y \
            -fill #e6e6e6 -tags {grid}
        .c create text [expr {[dict get $geometry x1] + 6}] $y -anchor w \
            -text [tick_text $tick $ticks] -font TkSmallCaptionFont -tags {axis}
    }

    set slot [expr {double([dict get $geometry x1] - [dict get $geometry x0]) / $span}]
    set half [expr {max(0.5, $slot * 0.32)}]
    for {set index [first]} {$index <= $last} {incr index} {
        lassign [candle $index] open high low close
        set x [bar_x $geometry $index]
        set colour [expr {$close >= $open ? $up_colour : $down_colour}]
        .c create line $x [y_of $high $pane $range] $x [y_of $low $pane $range] \
            -fill $colour -tags {candle wick}
        set top [y_of [expr {max($open, $close)}] $pane $range]
        set bottom [y_of [expr {min($open, $close)}] $pane $range]
        if {$bottom - $top < 1} {
            set bottom [expr {$top + 1}]
        }
        set fill [expr {$close >= $open ? "white" : $colour}]
        .c create rectangle [expr {$x - $half}] $top [expr {$x + $half}] $bottom \
            -outline $colour -fill $fill -tags {candle body}
    }

    set legend_x [dict get $geometry x0]
    dict for {name overlay} $overlays {
        if {!$show($name)} continue
        set tags [list overlay overlay-$name]
        if {[dict get $overlay draw] eq "cloud"} {
            draw_cloud $geometry $pane $range [lindex [dict get $overlay series] 0 0] 2 3 \
                [list cloud overlay-$name]
        }
        foreach series [dict get $overlay series] {
            lassign $series words component colour dash
            if {[dict get $overlay draw] eq "trend"} {
                draw_trend $geometry $pane $range $words $component $tags
            } else {
                draw_series $geometry $pane $range 0 $words $component $colour $dash $tags
            }
        }
        set item [.c create text $legend_x 11 -anchor w -text [dict get $overlay label] \
            -fill [lindex [dict get $overlay series] 0 2] -font TkSmallCaptionFont \
            -tags {legend}]
        set legend_x [expr {[lindex [.c bbox $item] 2] + 14}]
        if {[dict exists $overlay legend]} {
            foreach part [dict get $overlay legend] {
                lassign $part text colour
                set item [.c create text [expr {$legend_x - 8}] 11 -anchor w -text $text \
                    -fill $colour -font TkSmallCaptionFont -tags {legend}]
                set legend_x [expr {[lindex [.c bbox $item] 2] + 14}]
            }
        }
    }
    return $range
}

# Draws the volume bars under the prices.
proc ::chart::draw_volume {geometry} {
    variable last
    variable span
    variable up_colour
    variable down_colour
    set pane [dict get $geometry volume]
    set most 1
    for {set index [first]} {$index <= $last} {incr index} {
        set most [expr {max($most, [lindex [bar $index] 4])}]
    }
    set range [list 0 $most]
    set slot [expr {double([dict get $geometry x1] - [dict get $geometry x0]) / $span}]
    set half [expr {max(0.5, $slot * 0.32)}]
    for {set index [first]} {$index <= $last} {incr index} {
        lassign [bar $index] open high low close volume
        set x [bar_x $geometry $index]
        set colour [expr {$close >= $open ? "#a5d6a7" : "#ef9a9a"}]
        .c create rectangle [expr {$x - $half}] [y_of $volume $pane $range] \
            [expr {$x + $half}] [lindex $pane 1] -outline $colour -fill $colour \
            -tags {volume}
    }
    .c create line [dict get $geometry x0] [lindex $pane 1] [dict get $geometry x1] \
        [lindex $pane 1] -fill #bbbbbb -tags {grid}
    .c create text [expr {[dict get $geometry x1] + 6}] [lindex $pane 0] -anchor nw \
        -text "vol [format %.1fM [expr {$most / 1e6}]]" -font TkSmallCaptionFont \
        -tags {axis}
}

# Draws the chosen oscillator in the bottom pane, with its guides and legend.
proc ::chart::draw_oscillator {geometry} {
    variable oscillators
    variable oscillator
    variable last
    variable scale
    set entry [dict get $oscillators $oscillator]
    set pane [dict get $geometry oscillator]
    set invert [dict get $entry invert]
    set range [dict get $entry range]
    if {$range eq {}} {
        set range {{} {}}
        foreach level [dict get $entry guides] {
            set range [extend $range $level]
        }
        for {set index [first]} {$index <= $last} {incr index} {
            foreach series [dict get $entry series] {
                lassign $series words component
                set value [value $words $component $index]
                if {[drawable $value]} {
                    set range [extend $range $value]
                }
            }
        }
        lassign $range low high
        if {$low eq {}} {
            # Nothing to draw in view yet (a long warm-up): an empty pane.
            lassign {0.0 1.0} low high
        }
        set pad [expr {max(1e-9, ($high - $low) * 0.05)}]
        set range [list [expr {$low - $pad}] [expr {$high + $pad}]]
    }
    lassign $pane top bottom
    .c create rectangle [dict get $geometry x0] $top [dict get $geometry x1] $bottom \
        -outline #bbbbbb -tags {grid}
    foreach level [dict get $entry guides] {
        set y [y_of $level $pane $range $invert]
        .c create line [dict get $geometry x0] $y [dict get $geometry x1] $y \
            -fill #999999 -dash {2 4} -tags {guide}
    }
    # Axis labels: the fixed range's ends and guides, or round values of a
    # fitted range (price-like values in dollars).
    set divisor [expr {[dict get $entry unit] eq "\$" ? double($scale) : 1.0}]
    if {[dict get $entry range] ne {}} {
        set levels [concat [dict get $entry range] [dict get $entry guides]]
        set texts $levels
    } else {
        lassign $range low high
        set levels [ticks [expr {$low / $divisor}] [expr {$high / $divisor}] 4]
        set texts [lmap level $levels {tick_text $level $levels}]
        set levels [lmap level $levels {expr {$level * $divisor}}]
    }
    foreach level $levels text $texts {
        .c create text [expr {[dict get $geometry x1] + 6}] \
            [y_of $level $pane $range $invert] -anchor w -text $text \
            -font TkSmallCaptionFont -tags {axis}
    }
    set legend_x [dict get $geometry x0]
    set item [.c create text $legend_x [expr {$top - 9}] -anchor w \
        -text "[dict get $entry label]:" -font TkSmallCaptionFont -tags {legend}]
    set legend_x [expr {[lindex [.c bbox $item] 2] + 8}]
    foreach series [dict get $entry series] {
        lassign $series words component colour name
        draw_series $geometry $pane $range $invert $words $component $colour {} \
            [list osc osc-$oscillator]
        set item [.c create text $legend_x [expr {$top - 9}] -anchor w -text $name \
            -fill $colour -font TkSmallCaptionFont -tags {legend}]
        set legend_x [expr {[lindex [.c bbox $item] 2] + 10}]
    }
}

# The seconds of the bar at an index ("" when its name is no timestamp).
proc ::chart::bar_time {index} {
    variable times
    variable time_kind
    variable dates
    if {![info exists times($index)]} {
        set times($index) [time_axis::seconds $time_kind [lindex $dates $index]]
    }
    return $times($index)
}

# Draws one label under the panes at a bar, with its grid line, unless it
# would touch the label before it (whose right edge is in the variable
# `right_edge` of the caller) or leave the canvas.
proc ::chart::date_label {geometry index text right_edge} {
    upvar 1 $right_edge right
    set x [bar_x $geometry $index]
    if {$x < $right + 12} {
        return
    }
    set item [.c create text $x [dict get $geometry axis] -anchor n -text $text \
        -justify center -font TkSmallCaptionFont -tags {axis date}]
    lassign [.c bbox $item] left - edge
    if {$left < $right + 12 || $left < 0 || $edge > [dict get $geometry width]} {
        .c delete $item
        return
    }
    set right $edge
    .c create line $x [lindex [dict get $geometry price] 0] $x \
        [lindex [dict get $geometry oscillator] 1] -fill #f0f0f0 -tags {grid}
}

# Draws the dates under the panes. Timestamps get a few labels where a
# period begins (see time_axis::labels), about one per 110 pixels; epoch
# times are marked UTC. Other names are shown as they are, spaced out.
proc ::chart::draw_dates {geometry} {
    variable dates
    variable last
    variable time_kind
    set first [first]
    set right -1000
    if {$time_kind eq ""} {
        for {set index $first} {$index <= $last} {incr index} {
            set name [lindex $dates $index]
            if {$name ne ""} {
                date_label $geometry $index $name right
            }
        }
        return
    }
    set seconds {}
    for {set index $first} {$index <= $last} {incr index} {
        lappend seconds [bar_time $index]
    }
    set room [expr {max(2, int(([dict get $geometry x1] - [dict get $geometry x0]) / 110))}]
    lassign [time_axis::labels $seconds $room] step labels
    foreach {offset text} $labels {
        date_label $geometry [expr {$first + $offset}] $text right
    }
    if {$time_kind ne "iso"} {
        .c create text [expr {[dict get $geometry x1] + 6}] [dict get $geometry axis] \
            -anchor nw -text UTC -font TkSmallCaptionFont -tags {axis}
    }
}

# Redraws the whole chart for the current view.
proc ::chart::redraw {} {
    variable last
    variable count
    variable span
    variable max_span
    .c delete all
    set span [expr {max(1, min($span, $count, $max_span))}]
    set last [expr {min($count - 1, max($span - 1, $last))}]
    set geometry [layout]
    draw_dates $geometry
    draw_prices $geometry
    draw_volume $geometry
    draw_oscillator $geometry
    .c lower cloud
    .c lower grid
    show_cursor
}

# Schedules one redraw, however many requests arrive before it runs.
proc ::chart::request_redraw {} {
    after cancel ::chart::redraw
    after idle ::chart::redraw
}

# Moves the crosshair to the bar under the pointer and the pointer's height.
proc ::chart::pointer_moved {x y} {
    variable cursor
    variable pointer_y
    set cursor [index_at [layout] $x]
    set pointer_y $y
    show_cursor
}

# Draws the crosshair on the cursor bar (kept inside the view), moves the
# object's cursor there and shows every indicator at that bar.
proc ::chart::show_cursor {} {
    variable cursor
    variable pointer_y
    variable last
    variable count
    variable object
    variable scale
    .c delete crosshair
    if {$cursor < 0} {
        set cursor $last
    }
    set cursor [expr {min($last, max([first], $cursor))}]
    set geometry [layout]
    set x [bar_x $geometry $cursor]
    .c create line $x [lindex [dict get $geometry price] 0] $x \
        [lindex [dict get $geometry oscillator] 1] -fill #555555 -dash {3 3} \
        -tags {crosshair}
    if {$pointer_y >= 0} {
        .c create line [dict get $geometry x0] $pointer_y [dict get $geometry x1] \
            $pointer_y -fill #555555 -dash {3 3} -tags {crosshair}
    }
    $object configure -pos [expr {$count - 1 - $cursor}]
    show_status
}

# Fills the status area with the bar at the object's cursor and every
# indicator there. A value comes from the indicator's line when the chart
# holds one (zolv::series answers exactly what the command answers at that
# bar), else from the object at its cursor.
proc ::chart::show_status {} {
    variable object
    variable dates
    variable count
    variable scale
    variable status_groups
    variable lines
    variable time_kind
    variable overlays
    variable oscillators
    variable oscillator
    variable show
    set commands [lmap entry $::bars::indicators {lindex $entry 0 0}]
    set pos [$object cget -pos]
    set index [expr {$count - 1 - $pos}]
    set bar [lmap type {o h l c v} unit {$ $ $ $ {}} {
        bars::format_value [$object value $type] $unit $scale
    }]
    set name [bars::bar_name $dates $index]
    if {$time_kind in {epoch epoch_ms} && [bar_time $index] ne ""} {
        set name "[clock format [bar_time $index] -format {%Y-%m-%d %H:%M:%S} -gmt 1] UTC\
            ($name)"
    }
    set lines_text [list [format "%s  (pos %d)  open %s  high %s  low %s  close %s  volume %s" \
        $name $pos {*}$bar]]
    foreach group $status_groups {
        set entries {}
        foreach entry $::bars::indicators {
            lassign $entry words components unit
            if {[lindex $words 0] ni $group} continue
            if {[info exists lines($words)]} {
                set values {}
                for {set k 0} {$k < max(1, [llength $components])} {incr k} {
                    lappend values [value $words $k $index]
                }
            } else {
                set values [bars::evaluate $object $entry]
            }
            set text [bars::label $entry]
            if {$components eq {}} {
                append text " " [bars::format_value [lindex $values 0] $unit $scale]
            } else {
                foreach component $components value $values {
                    append text " " $component " " [bars::format_value $value $unit $scale]
                }
            }
            lappend entries $text
        }
        lappend lines_text [join $entries "   "]
    }
    # The drawn operations that are no indicator command.
    set entries {}
    dict for {name overlay} $overlays {
        if {$show($name) && [dict get $overlay op] ni $commands} {
            lappend entries [entry_text $overlay \$ $index]
        }
    }
    set entry [dict get $oscillators $oscillator]
    if {[dict get $entry op] ni $commands} {
        lappend entries [entry_text $entry [dict get $entry unit] $index]
    }
    lappend lines_text [join $entries "   "]
    .status configure -state normal
    .status delete 1.0 end
    .status insert end [join $lines_text \n]
    .status tag add first 1.0 1.end
    .status configure -state disabled
}

# The values of a drawn entry at a bar: the words of each operation it draws
# (not the lagging span) and its value, or the name and value of each part;
# prices in dollars where unit is $.
proc ::chart::entry_text {entry unit index} {
    variable scale
    set done {}
    set texts {}
    foreach series [dict get $entry series] {
        set words [lindex $series 0]
        if {$words in $done || [lindex $words 0] eq "lagging"} continue
        lappend done $words
        set text [join $words]
        set names [parts_of [lindex $words 0]]
        if {$names eq {}} {
            append text " " [bars::format_value [value $words 0 $index] $unit $scale]
        }
        set k 0
        foreach name $names {
            set shown [expr {$name eq "direction" ? "" : $unit}]
            append text " " $name " " [bars::format_value [value $words $k $index] $shown $scale]
            incr k
        }
        lappend texts $text
    }
    return [join $texts "   "]
}

# Scrolls the view by a number of bars (negative: into the past).
proc ::chart::scroll {bars} {
    variable last
    variable count
    variable span
    set last [expr {min($count - 1, max($span - 1, $last + $bars))}]
    redraw
}

# Zooms by a factor of bars shown (below 1: fewer bars, wider candles),
# keeping the newest visible bar in place.
proc ::chart::zoom {factor} {
    variable span
    variable count
    variable max_span
    set span [expr {min($count, $max_span, max(10, int(round($span * $factor))))}]
    redraw
}

# Builds the window: menus, tool bar, canvas and status area.
proc ::chart::build_window {title width height} {
    variable overlays
    variable oscillators
    wm title . $title
    wm protocol . WM_DELETE_WINDOW {exit 0}

    menu .menu
    . configure -menu .menu
    menu .menu.file -tearoff 0
    .menu add cascade -label File -menu .menu.file -underline 0
    .menu.file add command -label "Open..." -command ::chart::open_dialog \
        -accelerator Ctrl+O
    .menu.file add command -label "Save PNG..." -command ::chart::save_dialog
    .menu.file add command -label Quit -command {exit 0} -accelerator Ctrl+Q
    menu .menu.overlays -tearoff 0
    .menu add cascade -label Overlays -menu .menu.overlays -underline 0
    menu .menu.oscillator -tearoff 0
    .menu add cascade -label Oscillator -menu .menu.oscillator -underline 1
    menu .menu.view -tearoff 0
    .menu add cascade -label View -menu .menu.view -underline 0
    .menu.view add command -label "Zoom in" -accelerator + -command {::chart::zoom 0.67}
    .menu.view add command -label "Zoom out" -accelerator - -command {::chart::zoom 1.5}
    .menu.view add command -label "Oldest bars" -accelerator Home \
        -command {::chart::scroll -1000000}
    .menu.view add command -label "Newest bars" -accelerator End \
        -command {::chart::scroll 1000000}

    .menu.view add separator
    .menu.view add radiobutton -label Candles -value ohlc -variable ::chart::candles \
        -command ::chart::redraw
    .menu.view add radiobutton -label "Heikin-Ashi candles" -value heikin_ashi \
        -variable ::chart::candles -command ::chart::redraw

    # The tool bar: the overlays on one row; the candles and the oscillators
    # on the next. The operations added from the table are in the menus only.
    ttk::frame .bar -padding {6 3 6 0}
    ttk::label .bar.overlays -text "Overlays:"
    pack .bar.overlays -side left
    menu .menu.overlays.more -tearoff 0
    menu .menu.oscillator.more -tearoff 0
    dict for {name overlay} $overlays {
        set label [dict get $overlay label]
        if {[dict exists $overlay more]} {
            .menu.overlays.more add checkbutton -label $label \
                -variable ::chart::show($name) -command ::chart::redraw
            continue
        }
        ttk::checkbutton .bar.o$name -text [dict get $overlay short] \
            -variable ::chart::show($name) -command ::chart::redraw
        pack .bar.o$name -side left -padx 2
        .menu.overlays add checkbutton -label $label -variable ::chart::show($name) \
            -command ::chart::redraw
    }
    .menu.overlays add separator
    .menu.overlays add cascade -label "More" -menu .menu.overlays.more
    ttk::frame .bar2 -padding {6 0 6 3}
    ttk::label .bar2.candles -text "Candles:"
    pack .bar2.candles -side left
    foreach {value label} {ohlc Bars heikin_ashi Heikin-Ashi} {
        ttk::radiobutton .bar2.c$value -text $label -value $value \
            -variable ::chart::candles -command ::chart::redraw
        pack .bar2.c$value -side left -padx 2
    }
    ttk::label .bar2.oscillators -text "   Oscillator:"
    pack .bar2.oscillators -side left
    dict for {name entry} $oscillators {
        if {[dict exists $entry more]} {
            .menu.oscillator.more add radiobutton -label [dict get $entry label] \
                -value $name -variable ::chart::oscillator -command ::chart::redraw
            continue
        }
        set label [lindex [split [dict get $entry label] (] 0]
        ttk::radiobutton .bar2.r$name -text [string trim $label] -value $name \
            -variable ::chart::oscillator -command ::chart::redraw
        pack .bar2.r$name -side left -padx 2
        .menu.oscillator add radiobutton -label [dict get $entry label] -value $name \
            -variable ::chart::oscillator -command ::chart::redraw
    }
    .menu.oscillator add separator
    .menu.oscillator add cascade -label "More" -menu .menu.oscillator.more

    canvas .c -width $width -height $height -background white -highlightthickness 0
    text .status -height 9 -wrap word -font TkFixedFont -background #f7f7f7 \
        -relief flat -padx 6 -pady 4 -takefocus 0
    .status tag configure first -font TkDefaultFont
    pack .bar -side top -fill x
    pack .bar2 -side top -fill x
    pack .status -side bottom -fill x
    pack .c -side top -fill both -expand 1

    bind .c <Motion> {::chart::pointer_moved %x %y}
    bind .c <Configure> ::chart::request_redraw
    bind . <Left> {::chart::scroll -1}
    bind . <Right> {::chart::scroll 1}
    bind . <Shift-Left> {::chart::scroll [expr {-$::chart::span / 2}]}
    bind . <Shift-Right> {::chart::scroll [expr {$::chart::span / 2}]}
    bind . <Home> {::chart::scroll -1000000}
    bind . <End> {::chart::scroll 1000000}
    foreach key {plus equal KP_Add} {
        bind . <Key-$key> {::chart::zoom 0.67}
    }
    foreach key {minus KP_Subtract} {
        bind . <Key-$key> {::chart::zoom 1.5}
    }
    bind . <Control-q> {exit 0}
    bind . <Control-o> ::chart::open_dialog
    focus .c
}

# Reads a file of bars into a new object and, once it has bars, makes it the
# chart's object: the lines of the old one are dropped and the view moves to
# the newest bars. A file that cannot be read fails with a message for the
# user and leaves the chart as it was.
proc ::chart::load_file {file} {
    variable object
    variable path
    variable dates
    variable count
    variable scale
    variable scale_option
    variable reader
    variable lines
    variable time_kind
    variable times
    variable last
    variable cursor
    set fresh [corvalix::ZOLV]
    if {[catch {bars::load $fresh $file $scale_option $reader} result options]} {
        $fresh -delete
        return -options $options $result
    }
    if {$object ne ""} {
        $object -delete
    }
    set object $fresh
    set path $file
    set scale [bars::display_scale $file $scale_option]
    set dates $result
    set count [llength $dates]
    array unset lines
    set time_kind [time_axis::kind $dates]
    array unset times
    set last [expr {$count - 1}]
    set cursor -1
    if {[info commands .c] ne ""} {
        wm title . "zolv chart: [file tail $path]"
        redraw
    }
}

# Asks for a CSV file and shows it; a file that cannot be read is reported
# in a message box.
proc ::chart::open_dialog {} {
    variable path
    set file [tk_getOpenFile -initialdir [file dirname $path] \
        -filetypes {{{CSV files} {.csv .CSV}} {{All files} *}}]
    if {$file eq ""} {
        return
    }
    if {[catch {load_file $file} message options]} {
        if {[lindex [dict get $options -errorcode] 0] ne "BARS"} {
            return -options $options $message
        }
        tk_messageBox -icon error -title "Cannot open the file" -message $message
    }
}

# Asks for a file name and saves the window there as PNG.
proc ::chart::save_dialog {} {
    set path [tk_getSaveFile -defaultextension .png -filetypes {{PNG {.png}}}]
    if {$path ne ""} {
        save_png $path
    }
}

# Saves the window as a PNG file: captured with the Img window format
# (Debian's libtk-img) and written by Tk's PNG writer, or else captured
# with xwd and converted with ImageMagick.
proc ::chart::save_png {path} {
    update idletasks
    update
    if {![catch {package require img::window}]} {
        set image [image create photo -format window -data .]
        set status [catch {$image write $path -format png} message]
        image delete $image
        if {$status} {
            bars::fail "$path: cannot write the screenshot: $message"
        }
        return
    }
    if {[auto_execok xwd] ne "" && [auto_execok convert] ne ""} {
        if {[catch {exec xwd -silent -id [winfo id .] | convert xwd:- png:$path} message]} {
            bars::fail "$path: cannot write the screenshot: $message"
        }
        return
    }
    bars::fail "cannot take a screenshot: install libtk-img (Img's window format),\
        or x11-apps and imagemagick"
}

# Checks the drawing of every overlay and oscillator, the crosshair and the
# keys; returns the list of what failed.
proc ::chart::selftest {} {
    variable overlays
    variable oscillators
    variable oscillator
    variable show
    variable object
    variable count
    variable last
    variable span
    variable candles
    variable up_colour
    variable down_colour
    set failures {}
    foreach name [dict keys $overlays] {
        set show($name) 1
    }
    foreach name [dict keys $oscillators] {
        set oscillator $name
        redraw
        update
        if {[llength [.c find withtag osc-$name]] == 0 && [in_view $oscillators $name]} {
            lappend failures "no line of the oscillator $name"
        }
    }
    if {[llength [.c find withtag candle]] == 0} {
        lappend failures "no candles"
    }
    if {[llength [.c find withtag volume]] == 0} {
        lappend failures "no volume bars"
    }
    foreach name [dict keys $overlays] {
        if {[llength [.c find withtag overlay-$name]] == 0 && [in_view $overlays $name]} {
            lappend failures "no line of the overlay $name"
        }
    }
    if {[llength [.c find withtag cloud]] == 0
            && [value {ichimoku 9 26 52} 3 $last] ne "-"} {
        lappend failures "no Ichimoku cloud"
    }
    # Every operation of the table is offered in a menu, or drawn otherwise.
    set offered [list {*}$::chart::drawn_otherwise]
    foreach menu {.menu.overlays .menu.overlays.more .menu.oscillator .menu.oscillator.more} {
        for {set k 0} {$k <= [$menu index end]} {incr k} {
            if {[$menu type $k] in {checkbutton radiobutton}} {
                lappend offered [lindex [$menu entrycget $k -label] 0]
            }
        }
    }
    dict for {name entry} [dict merge $overlays $oscillators] {
        if {[lindex [dict get $entry label] 0] in $offered} {
            lappend offered {*}[dict get $entry op]
        }
    }
    foreach name [dict keys [zolv::operations]] {
        if {$name ni $offered} {
            lappend failures "the operation $name is not offered"
        }
    }
    # Heikin-Ashi candles: the newest one coloured by its own open and close.
    set candles heikin_ashi
    redraw
    set drawn [lindex [.c find withtag body] end]
    lassign [lindex [line heikin_ashi] $last] open - - close
    if {[.c itemcget $drawn -outline] ne [expr {$close >= $open ? $up_colour : $down_colour}]} {
        lappend failures "the newest Heikin-Ashi candle is not coloured by its open and close"
    }
    set candles ohlc
    redraw
    # The crosshair follows the pointer and moves the object's cursor.
    set geometry [layout]
    set index [expr {$last - 5}]
    event generate .c <Motion> -x [expr {int([bar_x $geometry $index])}] -y 100
    if {[$object cget -pos] != $count - 1 - $index} {
        lappend failures "the crosshair left the cursor at [$object cget -pos]"
    }
    if {[llength [.c find withtag crosshair]] != 2} {
        lappend failures "no crosshair"
    }
    if {![string match "*[lindex $::chart::dates $index]*" [.status get 1.0 1.end]]} {
        lappend failures "the status area does not show the bar under the crosshair"
    }
    # The time axis: some labels, apart, none of them a raw epoch number.
    set labels [lsort -real -index 0 [lmap item [.c find withtag date] {.c bbox $item}]]
    if {$::chart::time_kind ne "" && [llength $labels] < 2} {
        lappend failures "fewer than two labels on the time axis"
    }
    foreach box [lrange $labels 1 end] before [lrange $labels 0 end-1] {
        if {[lindex $box 0] <= [lindex $before 2]} {
            lappend failures "time axis labels overlap: $before $box"
        }
    }
    foreach item [.c find withtag date] {
        if {[regexp {^\d{9,}$} [.c itemcget $item -text]]} {
            lappend failures "a raw epoch number on the time axis: [.c itemcget $item -text]"
        }
    }
    # The keys zoom and scroll the view.
    set before $span
    event generate .c <plus>
    if {$span >= $before} {
        lappend failures "+ did not zoom in"
    }
    set before $last
    event generate .c <Left>
    if {$last != $before - 1} {
        lappend failures "Left did not scroll"
    }
    # File > Open: a file that cannot be read leaves the chart as it was; a
    # good one replaces the object and its lines.
    set old $object
    set status [catch {load_file [file join $::chart::path missing.csv]} message options]
    if {!$status || [lindex [dict get $options -errorcode] 0] ne "BARS"
            || $object ne $old || ![llength [array names ::chart::lines]]} {
        lappend failures "a missing file changed the chart: $message"
    }
    load_file $::chart::path
    update
    if {$object eq $old || [$object size] != $count || [llength [.c find withtag candle]] == 0} {
        lappend failures "reading the file again did not replace the bars"
    }
    return $failures
}

# True when an entry has at least two values to draw in the view.
proc ::chart::in_view {entries name} {
    variable last
    set count 0
    foreach series [dict get $entries $name series] {
        lassign $series words component
        for {set index [first]} {$index <= $last} {incr index} {
            if {[drawable [value $words $component $index]] && [incr count] >= 2} {
                return 1
            }
        }
    }
    return 0
}

# Runs the program for the command line arguments.
proc ::chart::main {arguments} {
    variable usage
    variable scale_option
    set options [parse_command_line $arguments]
    if {[dict get $options help]} {
        puts $usage
        exit 0
    }
    set path [dict get $options file]
    set scale_option [dict get $options scale]
    set ::chart::reader [dict get $options reader]
    if {[dict get $options oscillator] ne ""} {
        set ::chart::oscillator [dict get $options oscillator]
    }
    if {[dict get $options overlays] ne ""} {
        foreach name [array names ::chart::show] {
            set ::chart::show($name) [expr {$name in [dict get $options overlays]}]
        }
    }
    if {[dict get $options candles] ne ""} {
        set ::chart::candles [dict get $options candles]
    }
    bars::require_zolv
    add_operations
    load_file $path
    if {[catch {package require Tk} message]} {
        bars::fail "cannot start Tk ($message); run on an X display, for\
            example under xvfb-run"
    }

    set width [expr {min(1100, [winfo screenwidth .] - 20)}]
    set height [expr {min(600, [winfo screenheight .] - 240)}]
    build_window "zolv chart: [file tail $path]" $width $height
    redraw
    update

    if {[dict get $options selftest]} {
        set failures [selftest]
        if {$failures ne {}} {
            foreach failure $failures {
                puts stderr "chart.tcl: selftest: $failure"
            }
            exit 1
        }
        puts "chart ok"
        exit 0
    }
    if {[dict get $options screenshot] ne ""} {
        # Let the window map and draw before it is captured.
        after 300 {set ::chart::settled 1}
        vwait ::chart::settled
        redraw
        save_png [dict get $options screenshot]
        exit 0
    }
}

bars::run chart.tcl {
    chart::main $argv
}
# Serve the window's events until it is closed.
if {[info exists ::tk_version]} {
    vwait ::chart::closed
}
