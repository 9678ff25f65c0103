# Code shared by the example programs: loading the package, reading a file of
# daily bars, the set of indicators they show, and the formatting of values.
# Sourced by report.tcl and chart.tcl; it defines the namespace ::bars only.

namespace eval ::bars {
    # The directory of the examples, for the bundled data file.
    variable here [file dirname [file normalize [info script]]]

    # The one header line a bar file may have.
    variable header "date,open,high,low,close,volume"
    variable columns {date open high low close volume}

    # File values per dollar in the bundled data (prices in 1/10000 dollar).
    variable default_scale 10000

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

# Checks one numeric field and returns it as a plain decimal integer.
proc ::bars::integer_field {where name text} {
    if {![regexp {^\+?0*([0-9]+)$} $text -> digits]} {
        if {[regexp {^-[0-9]+$} $text]} {
            fail "$where: $name \"$text\" is negative"
        }
        fail "$where: $name \"$text\" is not an integer"
    }
    if {[string length $digits] > 10 || $digits > 2147483647} {
        fail "$where: $name \"$text\" is larger than 2147483647"
    }
    return $digits
}

# Checks a date field: YYYY-MM-DD naming a real day.
proc ::bars::date_field {where text} {
    set ok [regexp {^[0-9]{4}-[0-9]{2}-[0-9]{2}$} $text]
    if {$ok} {
        set ok [expr {![catch {clock scan $text -format %Y-%m-%d -gmt 1} seconds]}]
    }
    if {!$ok || [clock format $seconds -format %Y-%m-%d -gmt 1] ne $text} {
        fail "$where: date \"$text\" is not a day written YYYY-MM-DD"
    }
}

# Checks that a bar's prices are consistent: low <= open, close <= high.
proc ::bars::check_range {where open high low close} {
    if {$high < $low} {
        fail "$where: high $high is below low $low"
    }
    foreach name {open close} value [list $open $close] {
        if {$low > $value} {
            fail "$where: low $low is above $name $value"
        }
        if {$high < $value} {
            fail "$where: high $high is below $name $value"
        }
    }
}

# Reads a file of daily bars, oldest first. Returns a dict with the keys
# dates (one per bar) and values (the flat list o h l c v o h l c v ...).
# Every problem fails with "file:line: what is wrong".
proc ::bars::read_file {path} {
    if {[file isdirectory $path]} {
        fail "$path: is a directory, not a file of bars"
    }
    if {[catch {open $path r} channel options]} {
        fail "$path: cannot open: [lindex [dict get $options -errorcode] end]"
    }
    fconfigure $channel -encoding utf-8
    set status [catch {read_channel $channel $path} result options]
    close $channel
    if {$status == 1 && [lindex [dict get $options -errorcode] 0] ne "BARS"} {
        fail "$path: cannot read: $result"
    }
    return -options $options $result
}

# Reads the lines of an open bar file; see read_file.
proc ::bars::read_channel {channel path} {
    variable header
    variable columns
    if {[gets $channel line] < 0} {
        fail "$path:1: empty file; expected the header $header"
    }
    set line [string trimright [string trimleft $line \uFEFF] " \t"]
    if {$line ne $header} {
        fail "$path:1: header \"$line\" should be exactly \"$header\""
    }
    set dates {}
    set values {}
    set number 1
    set previous ""
    while {[gets $channel line] >= 0} {
        incr number
        set where "$path:$number"
        if {[string trim $line] eq ""} {
            continue
        }
        set fields [split $line ,]
        if {[llength $fields] != 6} {
            fail "$where: [llength $fields] fields, expected 6 ($header)"
        }
        set fields [lmap field $fields {string trim $field}]
        foreach name $columns field $fields {
            if {$field eq ""} {
                fail "$where: the $name field is empty"
            }
        }
        set bar [lassign $fields date]
        date_field $where $date
        if {$previous ne "" && [string compare $date $previous] <= 0} {
            fail "$where: date $date does not follow $previous (bars must run\
                oldest first, one per day)"
        }
        set bar [lmap name [lrange $columns 1 end] field $bar {
            integer_field $where $name $field
        }]
        check_range $where {*}[lrange $bar 0 3]
        lappend dates $date
        lappend values {*}$bar
        set previous $date
    }
    if {$dates eq {}} {
        fail "$path:[incr number]: no bars after the header"
    }
    return [dict create dates $dates values $values]
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
