package require tcltest 2.5
::tcltest::configure -testdir [file dirname [file normalize [info script]]] {*}$argv
exit [::tcltest::runAllTests]
