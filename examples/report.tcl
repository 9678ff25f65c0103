#!/usr/bin/env tclsh
# Prints every indicator of the zolv package, and every operation of
# zolv::indicator, with the parameters used, at the
# newest bar of a CSV file of bars, or at each of its last K bars.
#
#   usage: tclsh report.tcl ?-last K? ?-scale N? ?-round? ?-volumescale N?
#              ?-columns LIST? ?-separator C? ?-skip N? ?-skipinvalid?
#              ?-reverse? ?FILE?
#
# FILE is read with zolv::read_csv: a header naming open, high, low, close and
# volume in any order, one bar per line, oldest first. The first other column
# (a date, or a date and time) names the bars. Prices are multiplied by N as
# they are read (a power of ten, default 10000: up to four decimals) and shown
# divided by it again. The reader's other options are passed on as they are
# (-separator tab for a tab; -skipinvalid counts the rows it skips on
# stderr). Without FILE the bundled sample
# data/msft-daily-2000-2001.csv is read. The package is found through
# TCLLIBPATH, e.g. TCLLIBPATH=build tclsh examples/report.tcl

source [file join [file dirname [file normalize [info script]]] bars.tcl]

namespace eval ::report {
    variable usage "usage: report.tcl ?-last K? ?-scale N? $::bars::reader_usage ?FILE?"

    # Bars per block of the -last table, so that a block fits a terminal.
    variable block 5
}

# Reads the command line into a dict: last (0 for the newest bar only),
# scale, reader (the reader's other options), file, help.
proc ::report::parse_command_line {arguments} {
    variable usage
    set options [dict create last 0 scale "" reader {} file "" help 0]
    set files {}
    set reader {}
    while {[llength $arguments] > 0} {
        set arguments [lassign $arguments word]
        if {[bars::is_reader_option $word]} {
            set arguments [bars::reader_option $word $arguments reader $usage]
            continue
        }
        switch -exact -- $word {
            -last {
                if {[llength $arguments] == 0} {
                    bars::fail "$word needs a value; $usage"
                }
                set arguments [lassign $arguments value]
                dict set options last [bars::positive_option $word $value]
            }
            -scale {
                if {[llength $arguments] == 0} {
                    bars::fail "$word needs a value; $usage"
                }
                set arguments [lassign $arguments value]
                dict set options scale [bars::scale_option $value]
            }
            -help - -h - --help {
                dict set options help 1
            }
            -- {
                lappend files {*}$arguments
                set arguments {}
            }
            default {
                if {[string match -* $word] && $word ne "-"} {
                    bars::fail "unknown option \"$word\"; $usage"
                }
                lappend files $word
            }
        }
    }
    if {[llength $files] > 1} {
        bars::fail "more than one file given; $usage"
    }
    dict set options reader $reader
    if {[llength $files] == 1} {
        dict set options file [lindex $files 0]
    } else {
        dict set options file [bars::default_file]
    }
    return $options
}

# Prints rows of cells as columns two blanks apart; aligns holds l or r for
# each column.
proc ::report::print_table {rows aligns} {
    set widths {}
    foreach row $rows {
        set column 0
        foreach cell $row {
            set width [string length $cell]
            if {$column >= [llength $widths]} {
                lappend widths $width
            } elseif {$width > [lindex $widths $column]} {
                lset widths $column $width
            }
            incr column
        }
    }
    foreach row $rows {
        set cells {}
        foreach cell $row width $widths align $aligns {
            if {$align eq "r"} {
                lappend cells [format %*s $width $cell]
            } else {
                lappend cells [format %-*s $width $cell]
            }
        }
        puts [string trimright [join $cells "  "]]
    }
}

# The values of the bar at the cursor of the object: open high low close
# volume, read with the package's value command.
proc ::report::bar_values {object} {
    return [lmap type {o h l c v} {$object value $type}]
}

# The rows of one bar's table: command, component, value, unit, meaning.
proc ::report::single_bar_rows {object scale} {
    set rows {{command component value unit meaning}}
    lappend rows {------- --------- ----- ---- -------}
    foreach entry $::bars::indicators {
        lassign $entry words components unit meaning
        set values [bars::evaluate $object $entry]
        set label [bars::label $entry]
        if {$components eq {}} {
            set components {{}}
        }
        foreach component $components value $values {
            lappend rows [list $label $component \
                [bars::format_value $value $unit $scale] $unit $meaning]
            set label ""
            set meaning ""
        }
    }
    return $rows
}

# The rows of the table of the operations that only zolv::indicator and
# zolv::series answer (those of the indicator commands are in the first
# table), each with its usual arguments: operation, component, value, unit.
proc ::report::operation_rows {object scale} {
    set commands [lmap entry $::bars::indicators {lindex $entry 0 0}]
    set rows {{operation component value unit}}
    lappend rows {--------- --------- ----- ----}
    dict for {name arguments} [zolv::operations] {
        if {$name in $commands} continue
        set words [list $name {*}[bars::usual_words $name]]
        set components [dict get [zolv::operations $name] results]
        set count [expr {max(1, [llength $components])}]
        if {[catch {zolv::indicator $object {*}$words} values]} {
            set values [lrepeat $count -]
        }
        if {$components eq {}} {
            set components {{}}
            set values [list $values]
        }
        set unit [bars::operation_unit $name]
        set label [join $words]
        foreach component $components value $values {
            # direction and supertrend's sign, avwap's anchor: plain numbers
            set shown [expr {$component eq "direction" ? "" : $unit}]
            if {$value eq ""} {
                set value -
            }
            lappend rows [list $label $component [bars::format_value $value $shown $scale] \
                $shown]
            set label ""
        }
    }
    return $rows
}

# Prints the table of every indicator at the newest bar, then the table of
# the operations.
proc ::report::print_newest {object dates scale} {
    $object configure -pos 0
    set bar [lmap value [bar_values $object] unit {$ $ $ $ {}} {
        bars::format_value $value $unit $scale
    }]
    lassign $bar open high low close volume
    puts [format "bar      %s (newest): open %s  high %s  low %s  close %s  volume %s" \
        [bars::bar_name $dates [expr {[llength $dates] - 1}]] $open $high $low $close $volume]
    puts ""
    print_table [single_bar_rows $object $scale] {l l r l l}
    puts ""
    print_table [operation_rows $object $scale] {l l r l}
}

# The rows of one block of the -last table: a label, its unit, then one
# value per position in positions (cursor values, oldest bar first).
proc ::report::block_rows {object dates positions scale} {
    set count [llength $dates]
    set header [list "" ""]
    foreach pos $positions {
        lappend header [bars::bar_name $dates [expr {$count - 1 - $pos}]]
    }
    # Columns of values, one per bar: first the bar itself, then each
    # component of each indicator in table order.
    set columns {}
    foreach pos $positions {
        $object configure -pos $pos
        set column [bar_values $object]
        foreach entry $::bars::indicators {
            lappend column {*}[bars::evaluate $object $entry]
        }
        lappend columns $column
    }
    set labels {}
    foreach name {open high low close volume} unit {$ $ $ $ {}} {
        lappend labels [list $name $unit]
    }
    foreach entry $::bars::indicators {
        lassign $entry words components unit
        if {$components eq {}} {
            lappend labels [list [bars::label $entry] $unit]
        }
        foreach component $components {
            lappend labels [list "[bars::label $entry] $component" $unit]
        }
    }
    set rows [list $header]
    set index 0
    foreach label $labels {
        set row $label
        foreach column $columns {
            lappend row [bars::format_value [lindex $column $index] [lindex $label 1] $scale]
        }
        lappend rows $row
        incr index
    }
    return $rows
}

# Prints every indicator at each of the last k bars, in blocks of bars.
proc ::report::print_last {object dates k scale} {
    variable block
    set k [expr {min($k, [llength $dates])}]
    # Cursor values from the oldest of the k bars to the newest.
    set positions {}
    for {set pos [expr {$k - 1}]} {$pos >= 0} {incr pos -1} {
        lappend positions $pos
    }
    puts "last     $k bars"
    for {set first 0} {$first < $k} {incr first $block} {
        set slice [lrange $positions $first [expr {$first + $block - 1}]]
        puts ""
        print_table [block_rows $object $dates $slice $scale] \
            [concat l l [lrepeat [llength $slice] r]]
    }
}

# Prints the report for the command line arguments.
proc ::report::main {arguments} {
    variable usage
    set options [parse_command_line $arguments]
    if {[dict get $options help]} {
        puts $usage
        return
    }
    set path [dict get $options file]
    set version [bars::require_zolv]
    corvalix::ZOLV ::report::series
    set dates [bars::load ::report::series $path [dict get $options scale] \
        [dict get $options reader]]
    set scale [bars::display_scale $path [dict get $options scale]]
    set count [llength $dates]

    puts "zolv $version indicator report"
    puts "file     $path"
    if {[lindex $dates 0] eq ""} {
        puts "bars     $count"
    } else {
        puts "bars     $count, [lindex $dates 0] to [lindex $dates end]"
    }
    if {[bars::is_sample $path]} {
        puts "units    \$ = dollars, % = percent scale"
    } else {
        puts "units    \$ = price as in the file (read with -scale $scale), % = percent scale"
    }
    puts "         - = the indicator cannot be computed at that bar"
    if {[dict get $options last] == 0} {
        print_newest ::report::series $dates $scale
    } else {
        print_last ::report::series $dates [dict get $options last] $scale
    }
    ::report::series -delete
}

bars::run report.tcl {
    report::main $argv
}
