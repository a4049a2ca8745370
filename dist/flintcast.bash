# bash completion for flintcast and flintcast-devsim
_flintcast() {
    local cur prev words cword
    _init_completion || return
    local commands="run resume demo devices config verify-package"
    local global="--time-scale --help --version"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --time-scale) ((i++)) ;;
            run|resume|demo|devices|config|verify-package) command=${words[i]}; break ;;
        esac
    done
    case $prev in
        --config|--second-package) _filedir ini; return ;;
        --image-folder|--device-root|--staging-dir) _filedir -d; return ;;
        --time-scale|--device-wait|--device-board) return ;;
    esac
    local options
    case $command in
        run|resume) options="--config --image-folder --device-root --device-wait --autotest --json --verbose --yes" ;;
        demo) options="--json --verbose --yes --keep" ;;
        devices) options="--config --device-root --json" ;;
        config) options="--json --second-package --device-board"; [[ $cur != -* ]] && { _filedir ini; return; } ;;
        verify-package) options="--config --staging-dir --keep-staging"; [[ $cur != -* ]] && { _filedir -d; return; } ;;
        "") COMPREPLY=($(compgen -W "$commands $global" -- "$cur")); return ;;
    esac
    COMPREPLY=($(compgen -W "$options --time-scale --help" -- "$cur"))
}
complete -F _flintcast flintcast

_flintcast_devsim() {
    local cur prev words cword
    _init_completion || return
    case $prev in
        --root|--state) _filedir -d; return ;;
        --profile) _filedir json; return ;;
        --time-scale|--faults|--parent-pid) return ;;
        ctl) _filedir -d; return ;;
        personality) COMPREPLY=($(compgen -W "download programmer normal storage fastboot" -- "$cur")); return ;;
    esac
    if [[ ${words[1]} == ctl ]]; then
        ((cword == 3)) && COMPREPLY=($(compgen -W "state unplug plug reset personality fault clear-faults" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -W "--root --state --profile --time-scale --faults --parent-pid ctl --help --version" -- "$cur"))
}
complete -F _flintcast_devsim flintcast-devsim
