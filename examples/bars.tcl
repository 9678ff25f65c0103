# Code shared by the example programs: loading the package, reading a file of
# bars with zolv::read_csv, the set of indicators they show, and the formatting
# of values.
# Sourced by report.tcl and chart.tcl; it defines the namespace ::bars only.

namespace eval ::bars {
    # The directory of the examples, for the bundled data file.
    variable here [file dirname [file normalize [info script]]]

    # Prices are multiplied by this power of ten as they are read, so that
    # decimal prices with up to four decimals become exact integers; displayed
    # prices are divided by it again.
    variable default_scale 10000

    # The bundled sample's prices are integers in 1/10000 dollar already: it is
    # read as it is and shown in dollars.
    variable sample_unit 10000

    # The indicators shown, each as {command-words components unit meaning}.
    # components names the elements of a list result ({} for one value); unit
    # is "$" for price-like values (shown scaled), "%" for values on a
    # percent scale and "" for plain numbers.
    variable indicators {
        {{sma c 20} {} $ "simple moving average of the close"}
        {{ema c 20} {} $ "exponential moving average of the close"}
        {{stdev c 20} {} $ "standard deviation of the close (sample)"}
        {{conv_sma c 5 25} {} % "deviation of SMA 5 from SMA 25"}
        {{conv_ema c 12 26} {} % "deviation of EMA 12 from EMA 26"}
        {{bollingerband c 20} {upper1 lower1 upper2 lower2 upper3 lower3} $
            "Bollinger band at 1, 2 and 3 deviations"}
        {{hlband 20} {highest lowest middle} $ "high/low band of the 20 bars before"}
        {{macd 12 26 9} {macd signal} $ "MACD line and its 9-bar signal"}
        {{momentum c 10} {} $ "close minus the close 10 bars before"}
        {{roc 10} {} % "rate of change, 100 = unchanged"}
        {{psychological c 12} {} % "share of rising closes"}
        {{rsi 14} {} % "relative strength index"}
        {{rci c 9} {} % "rank correlation index"}
        {{cci 20} {} "" "commodity channel index"}
        {{tr} {} $ "true range"}
        {{dmi 14 14} {+DI -DI DX ADX} % "directional movement index"}
        {{stc_k 14} {} % "stochastics %K"}
        {{stc_d 14 3} {} % "stochastics %D"}
        {{stc_sd 14 3 3} {} % "stochastics slow %D"}
        {{williams_r 14} {} % "Williams %R, 0 = at the high"}
        {{ultimate_osi 7} {} % "ultimate oscillator, 7/14/28 bars"}
        {{vr1 25} {} % "volume ratio 1"}
        {{vr2 25} {} % "volume ratio 2"}
        {{wvr 25} {} % "weighted volume ratio"}
        {{mfi 14} {} % "money flow index"}
    }

    # The operations of zolv::operations by what they answer: prices (drawn
    # over them, shown scaled), price differences (shown scaled), anything
    # else (plain numbers); the usual arguments of some operations, and of any
    # argument by its name or else its type.
    variable price_operations {sma ema bbands bollingerband hlband donchian keltner
        supertrend ichimoku vwap avwap vwma hma sar pivots wma trima dema tema kama t3
        linreg linreg_intercept tsf midpoint midprice heikin_ashi}
    variable price_difference_operations {atr tr stdev momentum macd macd_ema apo
        linreg_slope}
    variable usual_arguments {
        adosc {3 10} avwap {0} bbands {c 20 2} conv_ema {c 12 26} conv_sma {c 5 25}
        dmi {14 14} macd {12 26 9} macd_ema {c 12 26 9} momentum {c 10} roc {10}
        sar {0.02 0.2} stc_d {14 3} stc_sd {14 3 3} ultimate_osi {7} vr1 {25} vr2 {25}
        wvr {25} stochrsi {c 14 14 3 3} ichimoku {9 26 52} keltner {20 2 10}
        supertrend {10 3} t3 {c 5 0.7}
    }
    variable argument_defaults {fast 12 slow 26 signal 9 sig 9 k 2 mult 2 accel 0.02
        max 0.2 vfactor 0.7 from 0}
    variable type_defaults {column c integer 14 real 1}
}

# The usual arguments of an operation: its own, or for each argument the
# default of its name, or else of its type.
proc ::bars::usual_words {name} {
    variable usual_arguments
    variable argument_defaults
    variable type_defaults
    if {[dict exists $usual_arguments $name]} {
        return [dict get $usual_arguments $name]
    }
    set description [zolv::operations $name]
    set words {}
    foreach argument [dict get $description arguments] type [dict get $description types] {
        if {[dict exists $argument_defaults $argument]} {
            lappend words [dict get $argument_defaults $argument]
        } else {
            lappend words [dict get $type_defaults $type]
        }
    }
    return $words
}

# The unit of an operation's values: "$" for prices and price differences,
# "" for anything else.
proc ::bars::operation_unit {name} {
    variable price_operations
    variable price_difference_operations
    if {$name in $price_operations || $name in $price_difference_operations} {
        return "\$"
    }
    return ""
}

# Fails with a message meant for the user; the programs print it alone.
proc ::bars::fail {message} {
    return -code error -errorcode {BARS USER} $message
}

# Runs a program's main body: a user error prints one line on stderr and
# exits 1; any other error is a fault of the program and shows its trace.
proc ::bars::run {program body} {
    if {[catch {uplevel 1 $body} message options]} {
        set code [dict get $options -errorcode]
        if {[lindex $code 0] eq "BARS"} {
            puts stderr "$program: $message"
        } elseif {[lrange $code 0 1] eq {POSIX EPIPE}} {
            # The reader of the output went away (as "| head" does): no fault.
            exit 0
        } else {
            puts stderr "$program: internal error: [dict get $options -errorinfo]"
        }
        exit 1
    }
}

# Loads the package; when it is not on the search path, tries the build
# directory of the source tree before giving up with advice.
proc ::bars::require_zolv {} {
    variable here
    if {![catch {package require zolv} version]} {
        return $version
    }
    set first $version
    set build [file join [file dirname $here] build]
    if {[file exists [file join $build pkgIndex.tcl]]} {
        lappend ::auto_path $build
        if {![catch {package require zolv} version]} {
            return $version
        }
    }
    fail "cannot load the package zolv ($first); build it with\
        \"cmake -S . -B build && cmake --build build\" and run with\
        TCLLIBPATH set to the build directory"
}

# The bundled sample file of daily bars.
proc ::bars::default_file {} {
    variable here
    return [file normalize [file join $here .. data msft-daily-2000-2001.csv]]
}

# The power of ten a file's prices are multiplied by as they are read: the
# value of -scale, or without one (scale "") 1 for the bundled sample and
# default_scale for any other file.
proc ::bars::read_scale {path scale} {
    variable default_scale
    if {$scale ne ""} {
        return $scale
    }
    return [expr {[is_sample $path] ? 1 : $default_scale}]
}

# What a stored price is divided by for display: the read scale, and for the
# bundled sample also its unit, so that it is shown in dollars.
proc ::bars::display_scale {path scale} {
    variable sample_unit
    set divisor [read_scale $path $scale]
    if {[is_sample $path]} {
        set divisor [expr {$divisor * $sample_unit}]
    }
    return $divisor
}

proc ::bars::is_sample {path} {
    return [expr {[file normalize $path] eq [default_file]}]
}

# Appends the bars of a CSV file to an object with zolv::read_csv, prices
# multiplied by read_scale, with the reader's other options (pairs of an
# option and its value, "" for a flag; see reader_option). Returns each bar's
# date: the text of the file's first column that is not open, high, low,
# close or volume (empty without one). Rows skipped by -skipinvalid are
# counted on stderr. A file that cannot be read or holds no bars fails with
# one line for the user.
proc ::bars::load {object path scale {reader {}}} {
    set scale [read_scale $path $scale]
    set words [list -scale $scale -dates dates]
    foreach {option value} $reader {
        switch -exact -- $option {
            -skipinvalid {lappend words -skipinvalid skipped}
            -round - -reverse {lappend words $option}
            default {lappend words $option $value}
        }
    }
    if {[catch {zolv::read_csv $object $path {*}$words} count options]} {
        if {[lindex [dict get $options -errorcode] 0] in {ZOLV POSIX}} {
            fail $count
        }
        return -options $options $count
    }
    if {[info exists skipped] && [llength $skipped] > 0} {
        set n [llength $skipped]
        set lines [join [lrange $skipped 0 9] ", "]
        if {$n > 10} {
            append lines ", ..."
        }
        puts stderr [expr {$n == 1 ?
            "[file tail $path]: 1 row skipped (a field is no number): line $lines" :
            "[file tail $path]: $n rows skipped (a field is no number): lines $lines"}]
    }
    if {$count == 0} {
        fail "[file tail $path]: no bars after the header"
    }
    return $dates
}

# The options of zolv::read_csv the programs pass on, and whether each takes
# a value: a file in the shape of another export is read as the reader reads
# it (-skipinvalid needs no variable: the skipped rows are counted on stderr).
namespace eval ::bars {
    variable reader_options {
        -round 0 -reverse 0 -skipinvalid 0
        -volumescale 1 -columns 1 -separator 1 -skip 1
    }
    variable reader_usage "?-round? ?-volumescale N? ?-columns LIST? ?-separator C?\
        ?-skip N? ?-skipinvalid? ?-reverse?"
}

proc ::bars::is_reader_option {word} {
    variable reader_options
    return [dict exists $reader_options $word]
}

# Takes the reader option `word` (and its value from the front of
# `arguments`) into the list of pairs named by `readervar`; returns the
# arguments left. A -separator of "tab" is a tab.
proc ::bars::reader_option {word arguments readervar usage} {
    variable reader_options
    upvar 1 $readervar reader
    set value ""
    if {[dict get $reader_options $word]} {
        if {[llength $arguments] == 0} {
            fail "$word needs a value; $usage"
        }
        set arguments [lassign $arguments value]
        if {$word eq "-separator" && $value eq "tab"} {
            set value \t
        }
    }
    lappend reader $word $value
    return $arguments
}

# A bar's name for display: its date, or "bar N" (N from 1) when it has none.
proc ::bars::bar_name {dates index} {
    set date [lindex $dates $index]
    if {$date eq ""} {
        return "bar [expr {$index + 1}]"
    }
    return $date
}

# Parses the value of -scale: a power of ten from 1 to 10^9, or fails.
proc ::bars::scale_option {text} {
    if {![regexp {^10{0,9}$} $text]} {
        fail "-scale needs a power of ten from 1 to 1000000000, not \"$text\""
    }
    return $text
}

# Parses the value of a positive integer option, or fails naming it.
proc ::bars::positive_option {option text} {
    if {![string is integer -strict $text] || $text < 1} {
        fail "$option needs a positive integer, not \"$text\""
    }
    return [expr {int($text)}]
}

# The words of the command that computes an indicator entry.
proc ::bars::command {entry} {
    return [lindex $entry 0]
}

# The label of an indicator: its command words, as a script would call it.
proc ::bars::label {entry} {
    return [join [lindex $entry 0]]
}

# Computes one indicator at the object's cursor. Returns one value per
# component; "-" stands for each value when the calculation fails.
proc ::bars::evaluate {object entry} {
    lassign $entry words components
    set count [expr {max(1, [llength $components])}]
    if {[catch {$object {*}$words} result] || [llength $result] != $count} {
        return [lrepeat $count -]
    }
    return $result
}

# The number of decimals that shows a price divided by scale exactly
# (for 10000 four decimals), at least two.
proc ::bars::price_decimals {scale} {
    set decimals 0
    while {$scale > 1} {
        set scale [expr {$scale / 10}]
        incr decimals
    }
    return [expr {max(2, $decimals)}]
}

# Formats one value for display: prices are divided by scale, every other
# number shown with four decimals; NaN and infinities are named as such.
proc ::bars::format_value {value unit scale} {
    if {$value eq "-"} {
        return -
    }
    if {![string is double -strict $value]} {
        return $value
    }
    if {[string match -nocase *nan $value]} {
        return NaN
    }
    if {[string match -nocase *inf* $value]} {
        return [expr {$value > 0 ? "Inf" : "-Inf"}]
    }
    if {$unit eq "\$"} {
        return [format %.*f [price_decimals $scale] [expr {double($value) / $scale}]]
    }
    if {[string is integer -strict $value]} {
        return $value
    }
    return [format %.4f $value]
}
